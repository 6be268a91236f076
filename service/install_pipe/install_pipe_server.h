#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "service_install.h"
#include "unique_handle.h"
#include "verified_update_lookup.h"

namespace zvu {

// The install pipe's security: full control for local system and the
// administrators, read and write (never pipe creation: kInteractiveUsersPipeAccess)
// for interactive users, and nothing for network logons, denied first so that
// no other entry can grant them anything.
inline constexpr char kInstallPipeSddl[] =
    "D:P(D;;FA;;;NU)(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x12019b;;;IU)";

// How long a connected client may take to send its request.
inline constexpr DWORD kInstallRequestTimeoutMs = 5000;
// How long one answer may wait for the client to read; a client that reads
// nothing for so long counts as gone.
inline constexpr DWORD kInstallAnswerTimeoutMs = 10000;
// How long the service waits, after the last answer, for the client to close
// its end before it drops the instance (the answer is read by then).
inline constexpr DWORD kInstallCloseWaitMs = 5000;
// Connections served at once; one more is answered "busy" at once.
inline constexpr size_t kMaxInstallConnections = 8;
// Progress answers are sent at most this often (the last one always).
inline constexpr DWORD kInstallProgressIntervalMs = 250;
// While no instance of the pipe can be created, the thread tries again after
// a pause that starts here and doubles up to the limit.
inline constexpr DWORD kInstallPipeRetryFirstMs = 250;
inline constexpr DWORD kInstallPipeRetryLimitMs = 30000;

// Runs one verified installation (the service passes InstallVerifiedUpdate).
using InstallFunction =
    std::function<ServiceInstallOutcome(const UpdateEntry& entry, ServiceInstallProgress& progress)>;

// Creates one server end of the install pipe: a message pipe, overlapped,
// local clients only. first: it must be the first instance of the name, so
// that the service never serves a name that another process created.
HANDLE CreateInstallPipeInstance(const char* name, bool first, SECURITY_ATTRIBUTES* security);

struct InstallPipeState;

// The service's end of the install pipe: a thread that takes one connection
// after another and serves each on a thread of its own. A request is read
// within kInstallRequestTimeoutMs, its sender identified and logged, the
// update looked up in the service's own catalogue (the held text, else a
// fresh fetch) and, when it is listed with a sha256 and applies, installed
// through `install` while progress goes back to the client. One installation
// runs at a time: a request that comes meanwhile is answered "busy".
class InstallPipeServer {
 public:
  InstallPipeServer(std::string pipeName, InstallFunction install,
                    std::shared_ptr<InstallCatalogueSource> source);
  ~InstallPipeServer();
  InstallPipeServer(const InstallPipeServer&) = delete;
  InstallPipeServer& operator=(const InstallPipeServer&) = delete;

  // Starts the thread and waits briefly until its first instance exists (or
  // could not be made). 0, or E_FAIL when the thread cannot start. Starting a
  // running server does nothing.
  HRESULT Start();
  // Asks the thread and its connections to end (an installation under way is
  // told its requester has gone) and waits up to timeoutMs; true when all
  // ended. Threads that have not ended keep their own share of the state.
  bool Stop(DWORD timeoutMs = 5000);

 private:
  std::shared_ptr<InstallPipeState> state_;
  UniqueHandle thread_;
};

}  // namespace zvu
