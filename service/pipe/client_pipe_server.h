#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "client_finder.h"
#include "client_launcher.h"
#include "client_table.h"
#include "registration_pipe_instance.h"
#include "unique_handle.h"

namespace zvu {

class CatalogueWrite;
struct RegistrationState;

// How long a hand-off waits for its client to take the catalogue. A client
// that has not taken it by then is dropped, so that a client that registers
// and never reads cannot hold the service's main thread.
inline constexpr DWORD kHandOffLimitMs = 60000;

// The service's end of the client protocol: the registration thread that
// fills the client table from the named pipe, and the hand-off of a
// catalogue to the client that FindClient chooses. Apart from the
// registration thread it runs, it is used from one thread (the service's
// main thread).
class ClientPipeServer {
 public:
  // createInstance makes the registration pipe's instances; launch starts
  // the client program when no registered client qualifies; handOffLimitMs
  // bounds each hand-off.
  explicit ClientPipeServer(DWORD serviceProcessId = GetCurrentProcessId(),
                            PipeInstanceFactory createInstance = &CreateRegistrationPipeInstance,
                            ClientLauncher launch = &LaunchClientInSession,
                            DWORD handOffLimitMs = kHandOffLimitMs);
  // Ends the registration thread; registered handles are closed.
  ~ClientPipeServer();
  ClientPipeServer(const ClientPipeServer&) = delete;
  ClientPipeServer& operator=(const ClientPipeServer&) = delete;

  // 0, or E_FAIL when the thread cannot start. Starting a running
  // thread again does nothing.
  HRESULT StartRegistrationThread();
  // Ends the registration thread, which closes its pipe instance; true when
  // it ended within timeoutMs (or was not running). *exitCode (may be null)
  // receives the thread's exit code when it ended.
  bool StopRegistrationThread(DWORD timeoutMs = 5000, DWORD* exitCode = nullptr);

  // Writes text and the end marker 0xFF to the chosen client. 0 on
  // success; E_FAIL when no client was chosen, the write failed, or
  // stopEvent (manual reset; null: never) was set while the client did
  // not read, or the client had not taken it all within the hand-off's
  // limit. A client whose pipe has no reader any more, and a client that
  // did not read within the limit, is dropped. No write starts into the pipe
  // of a client while an earlier one given up there still blocks.
  HRESULT SendCatalogue(const std::string& text, HANDLE stopEvent);

  // Chooses the receiving client (see zvu::FindClient).
  HRESULT FindClient(ChosenClient* chosen);
  ClientTable& Clients();

 private:
  std::shared_ptr<RegistrationState> state_;
  ClientLauncher launch_;
  UniqueHandle registrationThread_;
  DWORD handOffLimitMs_;
  // Writes given up (on stop or at the limit) that were still blocked then,
  // with their client's process id; forgotten once they have ended.
  struct GivenUpWrite {
    DWORD processId;
    std::shared_ptr<CatalogueWrite> write;
  };
  std::vector<GivenUpWrite> givenUp_;
};

}  // namespace zvu
