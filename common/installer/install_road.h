#pragma once

#include <windows.h>

namespace zvu {

// How an update's installer is run.
enum class InstallRoad {
  Direct,   // started by the client itself, with the client's rights
  Service,  // installed by the service (a verified update of a client without administrator rights)
  Consent,  // started with administrator rights that the user consents to ("runas")
};

// Whether token may run installers as it is: an elevated token
// (TokenElevationTypeFull), or one that user account control does not split
// (TokenElevationTypeDefault) in which the Administrators group is enabled.
// A limited token (TokenElevationTypeLimited: an administrator's filtered
// token) and a standard user's token may not. The token needs TOKEN_QUERY,
// and TOKEN_DUPLICATE for the group check of a TokenElevationTypeDefault
// token.
bool TokenRunsInstallersDirectly(HANDLE token);

// The same for this process's token.
bool ProcessRunsInstallersDirectly();

// The road of one update: a client that may run installers runs them
// directly; otherwise a verified update (one whose catalogue entry lists a
// sha256) goes to the service when it can take it (the client asks whether
// the service runs: ServiceInstallAvailable), and every other one is
// started with the user's consent.
InstallRoad ChooseInstallRoad(bool runsInstallersDirectly, bool verified, bool serviceAvailable);

}  // namespace zvu
