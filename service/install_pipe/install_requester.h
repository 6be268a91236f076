#pragma once

#include <windows.h>

#include <string>

namespace zvu {

// Who sent a request on the install pipe.
struct InstallRequester {
  std::string account;   // DOMAIN\user, or the SID's text when it has no name
  bool interactive = false;    // the INTERACTIVE group is present and enabled
  bool administrator = false;  // local system, or Administrators enabled
  // Whether the service takes requests from this requester.
  bool Allowed() const { return interactive || administrator; }
};

enum class IdentifyOutcome {
  kIdentified,
  kNotIdentified,  // impersonation or the token query failed; the thread is itself again
  kRevertFailed,   // the thread could not stop impersonating: it must do nothing more
};

// Identifies the client of a connected pipe instance from which at least one
// message has been read: impersonates it (the client allows identification
// only), reads its user and groups from the thread token and reverts. *error
// receives the Windows error of a failure.
IdentifyOutcome IdentifyRequester(HANDLE pipe, InstallRequester* requester, DWORD* error);

}  // namespace zvu
