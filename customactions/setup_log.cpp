#include "setup_log.h"

#include <cwchar>

namespace zvu::hooks {
namespace {

constexpr wchar_t kLogFileName[] = L"IISQuillet_inst.log";
constexpr DWORD kMaxDirectory = MAX_PATH;

SetupLog* libraryLog = nullptr;

// The system drive ("C:"), or empty when the variable is not set.
std::wstring SystemDrive() {
  wchar_t expanded[kMaxDirectory] = {};
  const DWORD length = ExpandEnvironmentStringsW(L"%SYSTEMDRIVE%", expanded, kMaxDirectory);
  if (length == 0 || length > kMaxDirectory) return {};
  std::wstring drive(expanded);
  // An unset variable comes back unexpanded; a log named after it in the
  // current directory would help nobody.
  if (drive.find(L'%') != std::wstring::npos) return {};
  return drive;
}

// The message as 8-bit text in the system's code page, with "\n" written as
// "\r\n" by the text-mode stream.
std::string EightBitText(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}

}  // namespace

std::wstring LogTimeStamp(const SYSTEMTIME& time) {
  wchar_t stamp[64] = {};
  swprintf(stamp, 64, L"%d-%02d-%02d  %02d:%02d:%02d:%03d\t", time.wYear, time.wMonth, time.wDay,
           time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
  return stamp;
}

SetupLog::SetupLog() { Open(SystemDrive()); }

SetupLog::SetupLog(const std::wstring& directory) { Open(directory); }

void SetupLog::Open(const std::wstring& directory) {
  if (directory.empty()) return;
  directory_ = directory;
  path_ = directory;
  if (path_.back() != L'\\') path_ += L'\\';
  path_ += kLogFileName;
  file_.reset(_wfopen(path_.c_str(), L"a+"));
}

void SetupLog::Write(std::wstring_view message) {
  if (!file_) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::wstring entry = LogTimeStamp(now);
  entry.append(message);
  const std::string bytes = EightBitText(entry);

  AcquireSRWLockExclusive(&lock_);
  // Written as data, never as a format: a '%' in a path stays a '%'.
  fwrite(bytes.data(), 1, bytes.size(), file_.get());
  fflush(file_.get());
  ReleaseSRWLockExclusive(&lock_);
}

void OpenLibraryLog() {
  if (libraryLog) return;
  try {
    libraryLog = new SetupLog();
  } catch (...) {
    libraryLog = nullptr;  // no log; the actions run without one
  }
}

void CloseLibraryLog() {
  delete libraryLog;
  libraryLog = nullptr;
}

void Log(std::wstring_view message) {
  if (!libraryLog) return;
  try {
    libraryLog->Write(message);
  } catch (...) {
    // Logging never fails an action.
  }
}

}  // namespace zvu::hooks
