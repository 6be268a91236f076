#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "catalogue_entry.h"
#include "service_process.h"

namespace zvu {

// How often a waiting request calls ServiceInstallCallbacks::OnWait.
inline constexpr DWORD kServiceInstallPumpMs = 100;
// How long a request waits for a free instance of the install pipe.
inline constexpr DWORD kServiceInstallConnectWaitMs = 20000;

// What a request reports while it waits. Every call comes on the thread that
// called RequestServiceInstall.
class ServiceInstallCallbacks {
 public:
  // Bytes of the installer the service has received, and the whole size (0
  // while the server has not said).
  virtual void OnReceived(uint64_t bytes, uint64_t total) { (void)bytes; (void)total; }
  // The service has verified the installer and starts it.
  virtual void OnInstalling() {}
  // Called about every kServiceInstallPumpMs while an answer is awaited; a
  // window's thread dispatches its messages here. False gives the request
  // up: the service then starts no installer that has not started yet.
  virtual bool OnWait() { return true; }

 protected:
  ~ServiceInstallCallbacks() = default;
};

// How a request ended: the service's answer, or what kept it from one.
enum class ServiceInstallStatus {
  kInstalled,
  kInstallFailed,
  kDownloadFailed,
  kDigestMismatch,
  kNotListed,       // refused: the service's catalogue does not list it
  kNoDigest,        // refused: listed without a sha256
  kNotApplicable,   // refused: does not apply to the installed version
  kNotAllowed,      // refused: this user may not ask
  kBusy,            // another installation runs
  kServiceError,    // the service could not do its part
  kBadRequest,      // the service did not understand the request
  kNoService,       // the service's pipe is not there, or the name cannot be sent
  kNotTheService,   // the pipe is served by another process than the service
  kConnectionLost,  // the pipe broke before the result came
  kBadAnswer,       // an answer outside the protocol
  kGivenUp,         // OnWait returned false
};

// The name the client log gives the status.
const char* ServiceInstallStatusText(ServiceInstallStatus status);

// Whether the update service is there to install verified updates for this
// client: it runs (RunningServiceProcessId). A client without administrator
// rights sends a verified update to the service only then; otherwise the
// update takes the road of the user's consent.
bool ServiceInstallAvailable();

// Asks the update service to install the update of this product and
// version from its own catalogue, and waits for the result while reporting
// progress through callbacks. Only a pipe served by the service's own process
// gets the request. Logs the outcome to the client log.
ServiceInstallStatus RequestServiceInstall(const std::string& product, const ProductVersion& version,
                                           ServiceInstallCallbacks& callbacks);

// The same on the named pipe `pipeName`, sending the request only when the
// pipe's server process is `serverProcessId`.
ServiceInstallStatus RequestServiceInstall(const char* pipeName, DWORD serverProcessId,
                                           const std::string& product, const ProductVersion& version,
                                           ServiceInstallCallbacks& callbacks);

}  // namespace zvu
