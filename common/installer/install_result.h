#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zvu {

// A setup program's result file (written through its /f2 switch) reports
// success: a "ResultCode=0" whose value ends there (end of text or white
// space), so "ResultCode=01" or "ResultCode=0x80004005" do not count.
bool SetupResultReportsSuccess(std::string_view text, UINT codePage = CP_ACP);

// A Windows Installer log (UTF-16 little endian, with or without byte-order
// mark) reports "Installation completed successfully" or "Configuration
// completed successfully". A trailing odd byte is ignored.
bool InstallerLogReportsSuccess(std::string_view bytes);

// Reads the log at logPath (surrounding double quotes are removed first) and
// sets success from it; setupResultFile selects the setup program's result
// file instead of the Windows Installer log. Returns 0 when the log was read,
// -1 when it cannot be opened or read. success is cleared first.
int ReadInstallResultFile(const std::string& logPath, bool setupResultFile, bool& success);

}  // namespace zvu
