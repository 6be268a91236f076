#include "program_log.h"

#include <windows.h>

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

}  // namespace

bool ProgramLog::Open(const char* path) {
  return AdoptLogFile(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ProgramLog::Open(const wchar_t* path) {
  return AdoptLogFile(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
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
