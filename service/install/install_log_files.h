#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace zvu {

// How many installer logs the service keeps in its log folder.
inline constexpr size_t kKeptInstallLogs = 20;

// The log name of one run: the time (UTC) it started, then the installer's
// file name and ".log", spaces replaced by '_'
// ("20261208-162500-alpha-1.1.msi.log"). Names sort by age.
std::string InstallLogName(const SYSTEMTIME& utc, const std::string& installerFileName);

// Creates the empty log file folder\name (replacing an earlier one) and sets
// shortPath to its short path (the long one where the volume has no short
// names). 0, or the Windows error.
DWORD CreateInstallLog(const std::string& folder, const std::string& name,
                       std::string& shortPath);

// Deletes the oldest files in folder whose names end in ".log" (by last
// write time) until at most `kept` remain.
void PruneInstallLogs(const std::string& folder, size_t kept = kKeptInstallLogs);

}  // namespace zvu
