#pragma once

#include <string>

#include "failure_notice.h"

namespace zvu {

// The service's entry in the service control manager. Failures are told
// through the notice: a message box captioned with the service name where
// someone can see it, else an event.
class ServiceInstaller {
 public:
  ServiceInstaller(std::string serviceName, const FailureNotice& notice);

  bool IsInstalled() const;

  // Creates the service for this program (automatic start, own process,
  // local system, depends on "RPCSS", quoted path without arguments).
  // Succeeds at once when the service exists already.
  bool Install() const;

  // Asks a running service to stop (without waiting for it) and deletes it.
  // Succeeds at once when no such service exists. With `awaitRemoval` it then
  // waits (up to 30 s) until the control manager has dropped the deleted
  // service, which it does once the service's process has ended; a service
  // of the same name can be created only after that.
  bool Uninstall(bool awaitRemoval = false) const;

 private:
  void ShowError(const char* text) const;

  std::string serviceName_;
  const FailureNotice& notice_;
};

}  // namespace zvu
