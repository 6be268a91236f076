#include "client_launcher.h"

#include <wtsapi32.h>

#include <string>
#include <vector>

#include "ansi_text.h"
#include "program_log.h"
#include "unique_handle.h"
#include "service_texts.h"

namespace zvu {
namespace {

constexpr DWORD kTokenRights = TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY |
                               TOKEN_ADJUST_PRIVILEGES | TOKEN_ADJUST_DEFAULT |
                               TOKEN_ADJUST_SESSIONID;

DWORD Fail(const char* commandLine, const char* step) {
  DWORD error = GetLastError();
  // A step that failed without a reason still has to read as a failure.
  if (error == 0) error = ERROR_GEN_FAILURE;
  ProgramLog::Printf(texts::kClientStartFailed, commandLine,
                     static_cast<int>(error), step);
  return error;
}

// The command line as a writable, NUL-terminated UTF-16 buffer; empty when
// the text cannot be converted.
std::vector<wchar_t> ToWide(const char* text) {
  std::wstring wide;
  if (!AnsiToWide(text, wide)) return {};
  std::vector<wchar_t> buffer(wide.begin(), wide.end());
  buffer.push_back(L'\0');
  return buffer;
}

// The folder of the running program with its trailing backslash; empty when
// it cannot be read. The client is installed there.
std::wstring OwnFolder() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      std::wstring folder(path.data(), length);
      const size_t slash = folder.find_last_of(L"\\/");
      if (slash == std::wstring::npos) return {};
      folder.erase(slash + 1);
      return folder;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

// Whether the shell's token may start the client; logs why not. The id was
// read from a snapshot: the process opened by it may no longer be the shell.
bool AcceptShellToken(HANDLE token, DWORD sessionId, DWORD shellProcessId,
                      const char* commandLine, const ShellTokenReader& readToken,
                      DWORD* error) {
  const int shell = static_cast<int>(shellProcessId);
  ShellTokenFacts facts;
  DWORD readError = readToken ? readToken(token, &facts) : ReadShellTokenFacts(token, &facts);
  ShellTokenVerdict verdict = ShellTokenVerdict::kUserNotValid;
  if (readError == 0) {
    verdict = CheckShellToken(sessionId, facts.sessionId,
                              facts.userSid.empty() ? nullptr : facts.userSid.data());
    if (verdict == ShellTokenVerdict::kUserNotValid) readError = ERROR_INVALID_SID;
  }
  switch (verdict) {
    case ShellTokenVerdict::kAccepted:
      return true;
    case ShellTokenVerdict::kOtherSession:
      ProgramLog::Printf(texts::kShellTokenOtherSession, shell, commandLine,
                         static_cast<int>(facts.sessionId), static_cast<int>(sessionId));
      *error = ERROR_ACCESS_DENIED;
      return false;
    case ShellTokenVerdict::kServiceAccount:
      ProgramLog::Printf(texts::kShellTokenServiceAccount, shell, commandLine);
      *error = ERROR_ACCESS_DENIED;
      return false;
    case ShellTokenVerdict::kUserNotValid:
      break;
  }
  ProgramLog::Printf(texts::kShellTokenNotRead, shell, commandLine, static_cast<int>(readError));
  *error = readError;
  return false;
}

// The token of the user to start the client as: a primary copy of the
// shell's token, or without a shell the session's user token.
bool UserToken(DWORD sessionId, DWORD shellProcessId, const char* commandLine,
               const ShellTokenReader& readToken, UniqueHandle* userToken, DWORD* error) {
  if (shellProcessId == 0) {
    // Local system holds SeTcbPrivilege, which the query needs; the token it
    // returns is a primary token of the session's logged-on user, ours to close.
    HANDLE token = nullptr;
    if (!WTSQueryUserToken(sessionId, &token)) {
      *error = Fail(commandLine, "e9");
      return false;
    }
    userToken->reset(token);
    return true;
  }
  UniqueHandle shell(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shellProcessId));
  UniqueHandle shellToken;
  if (!shell || !OpenProcessToken(shell.get(), kTokenRights, shellToken.put())) {
    *error = Fail(commandLine, "e5");
    return false;
  }
  if (!AcceptShellToken(shellToken.get(), sessionId, shellProcessId, commandLine, readToken,
                        error)) {
    return false;
  }
  // Without the user's token the process would be started as the service's
  // own account on the user's desktop: never go on without it.
  if (!DuplicateTokenEx(shellToken.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                        TokenPrimary, userToken->put())) {
    *error = Fail(commandLine, "e6");
    return false;
  }
  return true;
}

}  // namespace

DWORD LaunchClientInSession(const char* commandLine, DWORD sessionId, DWORD shellProcessId) {
  return LaunchClientWithTokenReader(commandLine, sessionId, shellProcessId, &ReadShellTokenFacts);
}

DWORD LaunchClientWithTokenReader(const char* commandLine, DWORD sessionId, DWORD shellProcessId,
                                  const ShellTokenReader& readToken) {
  if (commandLine == nullptr) commandLine = "";
  wchar_t desktop[] = L"winsta0\\default";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.lpDesktop = desktop;

  UniqueHandle ownToken;
  if (!OpenProcessToken(GetCurrentProcess(), kTokenRights, ownToken.put())) {
    return Fail(commandLine, "e1");
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueA(nullptr, "SeTcbPrivilege", &privileges.Privileges[0].Luid)) {
    return Fail(commandLine, "e2");
  }
  SetLastError(0);
  if (!AdjustTokenPrivileges(ownToken.get(), FALSE, &privileges, 0, nullptr, nullptr) ||
      GetLastError() != 0) {
    return Fail(commandLine, "e3");
  }
  DWORD session = sessionId;
  if (!SetTokenInformation(ownToken.get(), TokenSessionId, &session, sizeof(session))) {
    return Fail(commandLine, "e4");
  }
  UniqueHandle userToken;
  DWORD error = 0;
  if (!UserToken(sessionId, shellProcessId, commandLine, readToken, &userToken, &error)) {
    return error;
  }
  std::vector<wchar_t> wideCommandLine = ToWide(commandLine);
  if (wideCommandLine.empty()) return Fail(commandLine, "e7");

  // The client starts in the program's own folder, where it is installed,
  // not in the service's current folder (System32).
  const std::wstring folder = OwnFolder();
  if (folder.empty()) return Fail(commandLine, "e10");
  // The user's own environment, not the service's (bInherit FALSE): with
  // local system's TEMP and profile folders every user's downloads would
  // share one folder that another user can change. Without it the client is
  // not started at all; the next tick tries again.
  UniqueEnvironmentBlock environment;
  if (!CreateEnvironmentBlock(environment.put(), userToken.get(), FALSE)) {
    DWORD failed = GetLastError();
    if (failed == 0) failed = ERROR_GEN_FAILURE;
    ProgramLog::Printf(texts::kClientEnvironmentFailed, commandLine, static_cast<int>(failed));
    return failed;
  }

  PROCESS_INFORMATION started{};
  if (!CreateProcessAsUserW(userToken.get(), nullptr, wideCommandLine.data(), nullptr, nullptr,
                            FALSE, NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT,
                            environment.get(), folder.c_str(), &startup, &started)) {
    return Fail(commandLine, "e8");
  }
  const UniqueHandle thread(started.hThread);
  const UniqueHandle process(started.hProcess);
  return 0;
}

}  // namespace zvu
