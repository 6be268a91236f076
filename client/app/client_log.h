#pragma once

#include <string>
#include <string_view>

namespace zvu::clientLog {

// The client's log file, "c:\VurUpdateGui.log": one per process, shared by
// the main window, the pipe reader and the HTTP client's transfer records.
// Each run writes from the start of the file over what an earlier run left;
// writes while the log is closed are dropped.
inline constexpr char kPath[] = "c:\\VurUpdateGui.log";

// Where the log goes when kPath cannot be opened: below the local
// application data folder of the user the client runs as.
inline constexpr wchar_t kUserFolder[] = L"Zelko\\VuroUpdate";
inline constexpr wchar_t kUserFileName[] = L"VurUpdateGui.log";

// Opens kPath. A standard user or a filtered administrator may not create
// files in the root of C:, and a client of another session holds the file
// shared for reading only: when the open fails, the log is opened at
// UserLogPath() instead (its folders created as needed), and its first
// record names kPath and the error of that open. False when neither opens;
// the program then runs without a log.
bool Open();
void Close();
bool IsOpen();
void Write(std::string_view record);

// "<local application data>\Zelko\VuroUpdate\VurUpdateGui.log" of the user
// whose token the process runs with; empty when that folder is unknown.
std::wstring UserLogPath();

}  // namespace zvu::clientLog
