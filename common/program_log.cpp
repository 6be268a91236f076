#include "program_log.h"

#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#include "unique_handle.h"

namespace zvu {
namespace {

// The handle is used from the main thread and from WinHTTP's worker threads;
// the lock keeps a write from racing with Close.
std::mutex g_logMutex;
UniqueFileHandle g_logFile;

// Takes the handle of a file just opened as the program's log; the open's
// error stays the thread's last error when there is none.
bool AdoptLogFile(HANDLE opened) {
  UniqueFileHandle file(opened);
  const DWORD openError = GetLastError();
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_logFile = std::move(file);
  if (!g_logFile) {
    SetLastError(openError);  // the caller reports why
    return false;
  }
  return true;
}

// Gives an existing file the access list of the descriptor it would have
// been created with (CreateFile applies a descriptor only to a file it
// creates): a log left by an older version inherited the root's modify
// right for authenticated users. Returns the Windows error, 0 on success.
DWORD RenewAccessList(HANDLE file, const SECURITY_ATTRIBUTES& security) {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(security.lpSecurityDescriptor, &present, &dacl, &defaulted)) {
    return GetLastError();
  }
  if (!present || dacl == nullptr) return ERROR_INVALID_SECURITY_DESCR;
  return SetSecurityInfo(file, SE_FILE_OBJECT,
                         DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                         nullptr, dacl, nullptr);
}

}  // namespace

bool ProgramLog::Open(const char* path) {
  return AdoptLogFile(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ProgramLog::Open(const wchar_t* path) {
  return AdoptLogFile(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

LogFileFault ClassifyLogFile(DWORD attributes, DWORD links) {
  // A junction or mount point is a folder with the reparse attribute: the
  // reparse point is what matters, so it is named first.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return LogFileFault::kReparsePoint;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return LogFileFault::kFolder;
  if (links != 1) return LogFileFault::kLinked;
  return LogFileFault::kNone;
}

bool ProgramLog::OpenPlainFile(const char* path, SECURITY_ATTRIBUTES* security,
                               LogFileRefusal& refusal) {
  refusal = LogFileRefusal{};
  // FILE_FLAG_OPEN_REPARSE_POINT: a reparse point at the path opens as itself
  // and is refused below. Without FILE_FLAG_BACKUP_SEMANTICS a folder (and so
  // a junction) does not open at all. FILE_READ_ATTRIBUTES is for
  // GetFileInformationByHandle; GENERIC_WRITE does not hold it.
  // WRITE_DAC, with a descriptor, renews an existing file's list below; a
  // file whose list does not grant it is still used as before.
  const DWORD access = GENERIC_WRITE | FILE_READ_ATTRIBUTES;
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  bool mayRenew = security != nullptr;
  UniqueFileHandle file(CreateFileA(path, access | (mayRenew ? WRITE_DAC : 0), FILE_SHARE_READ,
                                    security, OPEN_ALWAYS, flags, nullptr));
  DWORD openResult = GetLastError();
  if (!file && mayRenew && openResult == ERROR_ACCESS_DENIED) {
    mayRenew = false;
    file.reset(CreateFileA(path, access, FILE_SHARE_READ, security, OPEN_ALWAYS, flags, nullptr));
    openResult = GetLastError();
    if (file) refusal.listError = ERROR_ACCESS_DENIED;
  }
  const bool existed = file && openResult == ERROR_ALREADY_EXISTS;
  SetLastError(openResult);
  if (!file) {
    const DWORD error = GetLastError();
    refusal.fault = LogFileFault::kNotOpened;
    refusal.error = error;
    // Only to name the reason: the attributes of the entry itself (of a
    // link, not of what it points to).
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      const LogFileFault fault = ClassifyLogFile(attributes, 1);
      if (fault != LogFileFault::kNone) refusal.fault = fault;
    }
    Close();  // as after a failed Open: no earlier log goes on being written
    SetLastError(error);
    return false;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file.get(), &information)) {
    refusal.fault = LogFileFault::kNotRead;
    refusal.error = GetLastError();
    Close();
    SetLastError(refusal.error);
    return false;
  }
  refusal.fault = ClassifyLogFile(information.dwFileAttributes, information.nNumberOfLinks);
  refusal.links = information.nNumberOfLinks;
  if (refusal.fault != LogFileFault::kNone) {
    // Opened, not written: OPEN_ALWAYS neither truncates nor changes it.
    Close();
    SetLastError(ERROR_SUCCESS);
    return false;
  }
  if (existed && mayRenew) refusal.listError = RenewAccessList(file.get(), *security);
  return AdoptLogFile(file.release());
}

void ProgramLog::Close() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_logFile.reset();
}

bool ProgramLog::IsOpen() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  return g_logFile.valid();
}

void ProgramLog::Write(std::string_view record) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  if (!g_logFile || record.empty()) return;
  const DWORD size = static_cast<DWORD>(std::min<size_t>(record.size(), kSizeLimit));
  const DWORD position = SetFilePointer(g_logFile.get(), 0, nullptr, FILE_CURRENT);
  if (position != INVALID_SET_FILE_POINTER && position + size > kSizeLimit) {
    SetFilePointer(g_logFile.get(), 0, nullptr, FILE_BEGIN);
  }
  DWORD written = 0;
  WriteFile(g_logFile.get(), record.data(), size, &written, nullptr);
}

void ProgramLog::Printf(const char* format, ...) {
  char small[1024];
  va_list args;
  va_start(args, format);
  int needed = std::vsnprintf(small, sizeof(small), format, args);
  va_end(args);
  if (needed < 0) return;
  if (static_cast<size_t>(needed) < sizeof(small)) {
    Write(std::string_view(small, static_cast<size_t>(needed)));
    return;
  }
  const size_t limit = 64 * 1024;
  std::vector<char> large(std::min(static_cast<size_t>(needed), limit) + 1);
  va_start(args, format);
  std::vsnprintf(large.data(), large.size(), format, args);
  va_end(args);
  Write(std::string_view(large.data(), large.size() - 1));
}

}  // namespace zvu
