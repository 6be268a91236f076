#pragma once

#include <windows.h>

#include <functional>
#include <vector>

namespace zvu {

// The client is started with a copy of the token of the process that the
// shell's id names when it is opened. Between the snapshot that found the
// shell and that open, the shell can end and its id be given to another
// process: the token is used only when it belongs to the shell's session and
// stands for no service account.
enum class ShellTokenVerdict {
  kAccepted,
  kOtherSession,   // the token's session is not the one the shell was found in
  kServiceAccount, // local system, local service or network service
  kUserNotValid,   // no valid user SID to judge by
};

// Judges a token by the session it belongs to and the SID of its user.
ShellTokenVerdict CheckShellToken(DWORD shellSession, DWORD tokenSession, PSID tokenUser);

// What the check reads from a token.
struct ShellTokenFacts {
  DWORD sessionId = 0;
  std::vector<BYTE> userSid;  // a copy of the token's user SID
};

// Reads the session and the user of token, which needs TOKEN_QUERY.
// 0 or the Windows error.
DWORD ReadShellTokenFacts(HANDLE token, ShellTokenFacts* facts);

// Reads a token's facts: ReadShellTokenFacts, or a stand-in.
using ShellTokenReader = std::function<DWORD(HANDLE token, ShellTokenFacts* facts)>;

}  // namespace zvu
