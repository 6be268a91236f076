#pragma once

#include <string_view>

namespace zvu {

// The program's one log file ("c:\VuroUpdateService.log" in the service,
// "c:\VurUpdateGui.log" in the client). Every record is written with a
// single WriteFile call, so records from different threads interleave only
// as whole records. The file is not truncated and each run writes from its
// start. Writes while the log is closed, and failed writes, are ignored.
//
// A service that runs for years would otherwise grow its log without end
// (a catalogue check adds about half a kilobyte): a record that would carry
// the file past kSizeLimit is written at the start of the file again, over
// the oldest text, so the file never grows beyond the limit.
class ProgramLog {
 public:
  static constexpr unsigned long kSizeLimit = 16ul * 1024 * 1024;

  // Opens (or creates) the file for writing, shared for reading.
  // Returns false and leaves the log closed when the file cannot be opened,
  // with the Windows error of the open as the thread's last error.
  static bool Open(const char* path);
  // The same for a path that may hold characters outside the ANSI code page
  // (a folder of the user's profile).
  static bool Open(const wchar_t* path);
  static void Close();
  static bool IsOpen();

  static void Write(std::string_view record);
  // printf-style record; texts longer than 64 KiB are cut.
  static void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
};

}  // namespace zvu
