#pragma once

#include <windows.h>

#include <string>

#include "event_reporter.h"
#include "failure_notice.h"

namespace zvu {

// The service writes no list of required privileges: the control manager
// would remove every other privilege from its token, and the installers the
// service starts inherit that token. A setup program may need any privilege
// local system holds (backup, restore, ownership, shutdown, drivers).

// The recovery a newly created service gets: restarted a minute after each of
// its first two failures, left stopped after the third; the count of failures
// starts again after a day without one.
inline constexpr DWORD kServiceRestartDelayMs = 60000;
inline constexpr DWORD kServiceFailureResetSeconds = 24 * 60 * 60;

// The service's entry in the service control manager. Failures are told
// through the notice: a message box captioned with the service name where
// someone can see it, else an event.
class ServiceInstaller {
 public:
  ServiceInstaller(std::string serviceName, const FailureNotice& notice,
                   const EventReporter& events);

  bool IsInstalled() const;

  // Makes the entry run this program. A service that does not exist yet is
  // created (automatic start, own process, local system, depends on "RPCSS",
  // quoted path without arguments) and gets its description, its recovery
  // (see above) and an unrestricted service SID. An existing entry is brought
  // up to date in place, never deleted: it gets this program's path, the
  // description and the SID type, and keeps what an administrator may have
  // chosen (start type, recovery, error control, account, dependencies,
  // required privileges). An entry that is still marked
  // for deletion is waited for (up to 30 s) and then created anew.
  // A setting the system refuses (the description, recovery or SID type) is
  // reported as an event and does not fail the installation:
  // the service runs without it.
  bool Install() const;

  // Asks a running service to stop (without waiting for it) and deletes it.
  // Succeeds at once when no such service exists. The control manager drops
  // the deleted service once its process has ended and no handle to it is
  // left open.
  bool Uninstall() const;

 private:
  void ShowError(const char* text) const;
  // Waits (up to 30 s) until the control manager no longer knows the service.
  bool AwaitRemoval() const;
  // The settings beyond the entry itself; `created` adds the recovery.
  void ApplySettings(SC_HANDLE service, bool created) const;
  void ReportSettingRefused(const char* setting) const;

  std::string serviceName_;
  const FailureNotice& notice_;
  const EventReporter& events_;
};

}  // namespace zvu
