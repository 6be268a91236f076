#include "session_inspector.h"

#include <tlhelp32.h>
#include <wtsapi32.h>

#include <cwchar>

#include "unique_handle.h"

namespace zvu {
namespace {

// The executable file name of the users' shell, as a process snapshot
// reports it.
constexpr wchar_t kShellExeFile[] = L"explorer.exe";

bool ReadSystemTerminalServicesAware() {
  OSVERSIONINFOEXA version{};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) return false;
#pragma GCC diagnostic pop
  return IsTerminalServicesSystem(version.wProductType, version.wSuiteMask);
}

// Runs one session query; the last error is cleared first so that a stale
// value cannot pass for the query's own.
template <typename Value>
bool QuerySession(DWORD sessionId, WTS_INFO_CLASS infoClass, Value* value, DWORD* lastError) {
  LPSTR buffer = nullptr;
  DWORD bytes = 0;
  SetLastError(0);
  const BOOL ok = WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, sessionId, infoClass,
                                              &buffer, &bytes);
  *lastError = GetLastError();
  bool read = false;
  if (ok && buffer != nullptr && bytes >= sizeof(Value)) {
    *value = *reinterpret_cast<const Value*>(buffer);
    read = true;
  }
  if (buffer != nullptr) WTSFreeMemory(buffer);
  return ok && read;
}

}  // namespace

bool SessionRules::SessionOfProcess(DWORD processId, DWORD* sessionId) const {
  return ProcessIdToSessionId(processId, sessionId) != FALSE;
}

// A plain walk over a process snapshot: the snapshot carries each process's
// id and executable file name, and nothing here opens a process, reads its
// memory or its token. The name is compared as the snapshot reports it,
// letter case included.
std::vector<DWORD> SessionRules::ShellProcesses() const {
  std::vector<DWORD> shells;
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return shells;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    entry.szExeFile[MAX_PATH - 1] = L'\0';
    if (std::wcscmp(entry.szExeFile, kShellExeFile) == 0) shells.push_back(entry.th32ProcessID);
    entry.dwSize = sizeof(entry);
  }
  return shells;
}

std::vector<DWORD> SessionRules::Sessions() const {
  std::vector<DWORD> sessions;
  WTS_SESSION_INFOA* list = nullptr;
  DWORD count = 0;
  if (!WTSEnumerateSessionsA(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &count)) return sessions;
  for (DWORD i = 0; i < count; ++i) sessions.push_back(list[i].SessionId);
  WTSFreeMemory(list);
  return sessions;
}

bool IsTerminalServicesSystem(BYTE productType, WORD suiteMask) {
  if (productType == VER_NT_WORKSTATION) return true;
  return (suiteMask & VER_SUITE_TERMINAL) != 0;
}

bool SessionActiveFromQuery(bool querySucceeded, DWORD lastError, DWORD connectState) {
  if (!querySucceeded || lastError == ERROR_CTX_WINSTATION_NOT_FOUND) return true;
  return connectState == WTSActive;
}

bool ConsoleFromQuery(bool querySucceeded, DWORD lastError, USHORT protocolType) {
  if (!querySucceeded || lastError == ERROR_CTX_WINSTATION_NOT_FOUND) return true;
  return protocolType == 0;
}

SessionInspector::SessionInspector() : terminalServicesAware_(ReadSystemTerminalServicesAware()) {}

SessionInspector::SessionInspector(bool terminalServicesAware)
    : terminalServicesAware_(terminalServicesAware) {}

bool SessionInspector::IsSessionActive(DWORD sessionId) const {
  if (!terminalServicesAware_) return true;
  DWORD state = 0;
  DWORD lastError = 0;
  const bool ok = QuerySession(sessionId, WTSConnectState, &state, &lastError);
  return SessionActiveFromQuery(ok, lastError, state);
}

bool SessionInspector::IsConsoleSession(DWORD sessionId) const {
  if (!terminalServicesAware_) return true;
  USHORT protocol = 0;
  DWORD lastError = 0;
  const bool ok = QuerySession(sessionId, WTSClientProtocolType, &protocol, &lastError);
  return ConsoleFromQuery(ok, lastError, protocol);
}

}  // namespace zvu
