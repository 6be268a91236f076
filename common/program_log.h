#pragma once

#include <windows.h>

#include <string_view>

namespace zvu {

// Why OpenPlainFile did not take the entry at its path.
enum class LogFileFault {
  kNone,
  kNotOpened,     // the open failed (error); nothing could be said of the entry
  kFolder,        // a folder
  kReparsePoint,  // a junction, mount point or symbolic link
  kLinked,        // a file with more than one name (links)
  kNotRead,       // its file information could not be read (error)
};

struct LogFileRefusal {
  LogFileFault fault = LogFileFault::kNone;
  DWORD error = 0;
  DWORD links = 0;
  // Set when the file was used: an existing file's access list could not be
  // renewed (the Windows error); 0 when it was, or the file is new.
  DWORD listError = 0;
};

// What the entry's attributes and link count make of it as a log file: only
// a plain file with one name is one.
LogFileFault ClassifyLogFile(DWORD attributes, DWORD links);

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
  // For a log at a path others may create entries at (the root of C:): the
  // entry itself is opened, never what a junction, mount point or link
  // there points to, and used only when it is a plain file with one name.
  // A file this creates gets `security`'s access list (null: the folder's
  // default). False with the reason in `refusal` (and the open's error as
  // the thread's last error) when nothing was taken; the log stays closed.
  static bool OpenPlainFile(const char* path, SECURITY_ATTRIBUTES* security,
                            LogFileRefusal& refusal);
  static void Close();
  static bool IsOpen();

  static void Write(std::string_view record);
  // printf-style record; texts longer than 64 KiB are cut.
  static void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
};

}  // namespace zvu
