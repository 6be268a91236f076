#pragma once

#include <string>

namespace zvu {

// The folders below the local application data folder that hold the runs' logs.
inline constexpr const char* kLogFolderCompany = "Zelko";
inline constexpr const char* kLogFolderProduct = "VuroUpdate";

// True for a plain file name: not empty, not "." or "..", and free of path
// separators, drive colons and control characters. Log names come from
// downloaded file names, so anything that could leave the log folder is refused.
bool IsPlainFileName(const std::string& name);

// Creates <baseFolder>\Zelko\VuroUpdate as needed and an empty file logName in
// it (replacing an earlier one), then sets shortPath to the file's short
// (8.3) path. Returns 0, or -1 when a folder or the file cannot be made or the
// name is not a plain file name (shortPath is then left empty).
int CreateEmptyLogFile(const std::string& baseFolder, const std::string& logName,
                       std::string& shortPath);

}  // namespace zvu
