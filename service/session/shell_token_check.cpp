#include "shell_token_check.h"

#include <utility>

namespace zvu {

ShellTokenVerdict CheckShellToken(DWORD shellSession, DWORD tokenSession, PSID tokenUser) {
  if (tokenUser == nullptr || !IsValidSid(tokenUser)) return ShellTokenVerdict::kUserNotValid;
  // The accounts that run processes in a user's session beside the user
  // (winlogon, csrss and consent.exe as local system) and the two other
  // service accounts: a client started as one of them on the user's desktop
  // would give the user that account's rights.
  for (const WELL_KNOWN_SID_TYPE account :
       {WinLocalSystemSid, WinLocalServiceSid, WinNetworkServiceSid}) {
    if (IsWellKnownSid(tokenUser, account)) return ShellTokenVerdict::kServiceAccount;
  }
  if (tokenSession != shellSession) return ShellTokenVerdict::kOtherSession;
  return ShellTokenVerdict::kAccepted;
}

DWORD ReadShellTokenFacts(HANDLE token, ShellTokenFacts* facts) {
  ShellTokenFacts read;
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenSessionId, &read.sessionId, sizeof(read.sessionId),
                           &size)) {
    return GetLastError();
  }
  // A SID is never longer than SECURITY_MAX_SID_SIZE, so this buffer holds
  // any token's user.
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } buffer{};
  if (!GetTokenInformation(token, TokenUser, &buffer, sizeof(buffer), &size)) {
    return GetLastError();
  }
  const PSID user = buffer.user.User.Sid;
  if (user == nullptr || !IsValidSid(user)) return ERROR_INVALID_SID;
  const BYTE* first = static_cast<const BYTE*>(user);
  read.userSid.assign(first, first + GetLengthSid(user));
  *facts = std::move(read);
  return 0;
}

}  // namespace zvu
