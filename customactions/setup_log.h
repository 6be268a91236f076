#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "unique_handle.h"

namespace zvu::hooks {

// The installation log at the root of the system drive ("IISQuillet_inst.log").
// Every entry is the local time stamp followed by the message text as it
// stands; messages bring their own "\n". Writers on several threads never
// interleave. When the file cannot be opened nothing is logged and nothing is
// reported.
class SetupLog {
 public:
  // Opens the log at the expansion of %SYSTEMDRIVE%.
  SetupLog();
  // Opens the log in the given directory (a backslash is added when missing).
  explicit SetupLog(const std::wstring& directory);
  ~SetupLog() = default;

  SetupLog(const SetupLog&) = delete;
  SetupLog& operator=(const SetupLog&) = delete;

  void Write(std::wstring_view message);

  const std::wstring& Path() const { return path_; }
  bool IsOpen() const { return file_.valid(); }

 private:
  void Open(const std::wstring& directory);

  std::wstring directory_;
  std::wstring path_;
  UniqueFile file_;
  SRWLOCK lock_ = SRWLOCK_INIT;
};

// The library's one log, opened when the library is loaded into a process and
// closed when it is unloaded.
void OpenLibraryLog();
void CloseLibraryLog();

// Writes one entry to the library's log (nothing when it is not open).
void Log(std::wstring_view message);

// Formats the entry's time stamp: "%d-%02d-%02d  %02d:%02d:%02d:%03d\t".
std::wstring LogTimeStamp(const SYSTEMTIME& time);

}  // namespace zvu::hooks
