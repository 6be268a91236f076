#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "unique_handle.h"

namespace zvu {

// The client's side of the catalogue hand-off. Register registers this
// process with the update service over its named pipe, handing it the write
// end of an anonymous pipe, and starts a reader thread on the read end. Each
// catalogue the service writes there is kept, logged to the client log and
// announced to the target window with a synchronous UWM_UPDATES_FOUND.
//
// The target reads the catalogue with Text() while it handles the message;
// the text is guarded by a lock, so reading it elsewhere is safe as well.
//
// The reader thread shares its state (read end, text, target) with this
// object and keeps it alive; when the object goes, the target is cleared (no
// more announcements) and the write end closed. The thread then ends once
// the pipe breaks, or with the process.
//
// Only the update service is trusted with the write end: the pipe is opened
// for identification only (its server may learn who the client is, but not
// act as the client), and the registration goes ahead only when the pipe's
// server, the process the greeting names and the process the service
// control manager reports for the update service are one and the same.
// Anything else (a process that took the pipe's name while the service was
// stopped) is refused with a log record, and is treated like an absent
// service: nothing is written to it and no handle is duplicated into it.
//
// The service process that took the registration is watched where this user
// may wait on it: when it ends, this process closes its own write end, so
// the reader sees the pipe break once no writer is left, and the reader
// registers again with the service's next process (trying every
// kReregisterPauseMs while there is none). Where it may not (on Windows the
// service's access list grants no one SYNCHRONIZE), a log record says so,
// and RegisterAgain, which the main window calls when a second start of the
// program asks it to, brings the registration up to date instead.
class PipeClient {
 public:
  // Results of Register.
  static constexpr HRESULT kRegistered = 0;
  static constexpr HRESULT kNoService = 1;
  static constexpr HRESULT kFailed = E_FAIL;
  // Pause between tries to register again after the service has ended.
  static constexpr DWORD kReregisterPauseMs = 2000;

  // How the client reaches the service: the process id the service control
  // manager reports for the running service (0 when none), and the opening
  // of that process (to duplicate the write end into it, to wait on it).
  struct ServiceAccess {
    DWORD (*runningServiceProcessId)();
    HANDLE (*openServiceProcess)(DWORD access, DWORD processId);
  };
  // The system's own: RunningServiceProcessId and OpenProcess.
  static ServiceAccess SystemServiceAccess();

  explicit PipeClient(ServiceAccess access = SystemServiceAccess());
  ~PipeClient();
  PipeClient(const PipeClient&) = delete;
  PipeClient& operator=(const PipeClient&) = delete;

  // Once, at start: kRegistered when the reader runs, kNoService when the
  // service's pipe could not be opened or its server was refused, kFailed
  // when the registration could not be sent or the reader could not be
  // started. Called on the main window's thread, as RegisterAgain is.
  HRESULT Register();
  // Brings the registration up to date, at any time after Register: without
  // a reader (no service, a refused pipe or a failed registration at start)
  // it registers as Register does. With one, it does nothing while the
  // registration is with the service's current process (the service would
  // only take the same client twice) or while the reader is already
  // registering anew; otherwise it lets go of this process's own write end,
  // so that the reader registers with the current service once the old
  // process's copy is gone. kRegistered when a registration stands or is
  // under way, else as Register.
  HRESULT RegisterAgain();

  void SetTarget(HWND target);
  // The last catalogue received (empty before the first).
  std::string Text() const;

  // Of the latest registration, the first or a later one.
  DWORD ServiceProcessId() const;
  // What was sent to the service: this process's id and the handle value of
  // the write end (in the service's process, or in this one when the handle
  // could not be duplicated into the service).
  uint32_t RegisteredProcessId() const;
  uint32_t RegisteredHandle() const;
  // How many registrations succeeded (the first and the later ones).
  unsigned Registrations() const;

 // State shared with the reader thread.
  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  DWORD threadId_ = 0;
};

}  // namespace zvu
