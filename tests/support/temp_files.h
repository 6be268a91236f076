#pragma once

#include <string>

// Files and folders of one test, below the temporary folder.
namespace zvu::test {

// A path in the temporary folder (the file is deleted first).
std::string TempFilePath(const std::string& name);

// A fresh, empty folder below the temporary folder.
std::string FreshTempFolder(const std::string& name);

// Removes a folder with everything in it.
void DeleteTree(const std::string& folder);

bool WriteBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

}  // namespace zvu::test
