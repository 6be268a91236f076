#pragma once

#include <windows.h>

#include "shell_token_check.h"

namespace zvu {

// The client program, started by its bare file name: it is installed
// beside the service.
inline constexpr char kClientCommandLine[] = "ZelkoVuroUpdateGui.exe";

// Starts commandLine on the desktop "winsta0\default" of sessionId as the
// user of the shell process shellProcessId, or, with shellProcessId 0, as
// the session's logged-on user (WTSQueryUserToken; only local system may).
// The client gets that user's environment block and the running program's
// folder as its current folder. Returns 0, or the last error of the failing
// step after logging it with the step's code. The service's token keeps the
// enabled privilege and the session id set for the start.
// The shell's token is used only when it belongs to sessionId and stands for
// no service account (see CheckShellToken); otherwise the client is not
// started, the reason is logged, and the result is ERROR_ACCESS_DENIED (or
// the error of reading the token).
DWORD LaunchClientInSession(const char* commandLine, DWORD sessionId, DWORD shellProcessId);

// As above, with the shell token's session and user read through readToken
// (null: ReadShellTokenFacts).
DWORD LaunchClientWithTokenReader(const char* commandLine, DWORD sessionId, DWORD shellProcessId,
                                  const ShellTokenReader& readToken);

}  // namespace zvu
