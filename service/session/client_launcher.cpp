#include "client_launcher.h"

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

}  // namespace

DWORD LaunchClientInSession(const char* commandLine, DWORD sessionId, DWORD shellProcessId) {
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
  UniqueHandle shell(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shellProcessId));
  UniqueHandle shellToken;
  if (!shell || !OpenProcessToken(shell.get(), kTokenRights, shellToken.put())) {
    return Fail(commandLine, "e5");
  }
  // Without the user's token the process would be started as the service's
  // own account on the user's desktop: never go on without it.
  UniqueHandle userToken;
  if (!DuplicateTokenEx(shellToken.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                        TokenPrimary, userToken.put())) {
    return Fail(commandLine, "e6");
  }
  std::vector<wchar_t> wideCommandLine = ToWide(commandLine);
  if (wideCommandLine.empty()) return Fail(commandLine, "e7");

  PROCESS_INFORMATION started{};
  if (!CreateProcessAsUserW(userToken.get(), nullptr, wideCommandLine.data(), nullptr, nullptr,
                            FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &started)) {
    return Fail(commandLine, "e8");
  }
  const UniqueHandle thread(started.hThread);
  const UniqueHandle process(started.hProcess);
  return 0;
}

}  // namespace zvu
