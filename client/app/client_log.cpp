#include "client_log.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <new>

#include "client_texts.h"
#include "program_log.h"
#include "unique_handle.h"

namespace zvu::clientLog {
namespace {

// The folder is asked of the shell for the process's own token, not taken
// from %LOCALAPPDATA%: a client that the service starts with the user's token
// may carry the service's environment, whose LOCALAPPDATA is the system
// profile's (see docs/handle-access.md). The token is passed explicitly
// (TOKEN_QUERY | TOKEN_IMPERSONATE, as the shell asks for a given user's
// folder), so that the folder's %USERPROFILE% is expanded for the token's
// user and not from the inherited environment; without it, the current user.
std::wstring LocalAppData() {
  HANDLE opened = nullptr;
  UniqueHandle token(
      OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_IMPERSONATE | TOKEN_DUPLICATE, &opened)
          ? opened
          : nullptr);
  PWSTR folder = nullptr;
  const HRESULT result =
      SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, token.get(), &folder);
  std::wstring path;
  try {
    if (SUCCEEDED(result) && folder != nullptr) path = folder;
  } catch (const std::bad_alloc&) {
    path.clear();
  }
  CoTaskMemFree(folder);  // freed whether or not the call succeeded
  return path;
}

// Creates each missing folder of relative below base; false when one cannot
// be made.
bool CreateFolders(const std::wstring& base, const std::wstring& relative) {
  std::wstring folder = base;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find(L'\\', start);
    if (end == std::wstring::npos) end = relative.size();
    folder += L'\\';
    folder.append(relative, start, end - start);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

std::wstring LogPathBelow(const std::wstring& base) {
  return base + L'\\' + kUserFolder + L'\\' + kUserFileName;
}

bool OpenInUserFolder() {
  const std::wstring base = LocalAppData();
  if (base.empty() || !CreateFolders(base, kUserFolder)) return false;
  return ProgramLog::Open(LogPathBelow(base).c_str());
}

}  // namespace

bool Open() {
  if (ProgramLog::Open(kPath)) return true;
  const DWORD refused = GetLastError();
  try {
    if (!OpenInUserFolder()) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  ProgramLog::Printf(client_texts::kLogMoved, kPath, refused);
  return true;
}

void Close() { ProgramLog::Close(); }
bool IsOpen() { return ProgramLog::IsOpen(); }
void Write(std::string_view record) { ProgramLog::Write(record); }

std::wstring UserLogPath() {
  try {
    const std::wstring base = LocalAppData();
    return base.empty() ? std::wstring() : LogPathBelow(base);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

}  // namespace zvu::clientLog
