#pragma once

#include <string_view>

namespace zvu::clientLog {

// The client's log file, "c:\VurUpdateGui.log": one per process, shared by
// the main window, the pipe reader and the HTTP client's transfer records.
// Each run writes from the start of the file over what an earlier run left;
// writes while the log is closed are dropped.
inline constexpr char kPath[] = "c:\\VurUpdateGui.log";

bool Open();
void Close();
bool IsOpen();
void Write(std::string_view record);

}  // namespace zvu::clientLog
