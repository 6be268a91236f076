#include "installer_log_file.h"

#include <windows.h>

#include "unique_handle.h"

namespace zvu {
namespace {

bool EnsureFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder + name;
  return folder + '\\' + name;
}

}  // namespace

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

int CreateEmptyLogFile(const std::string& baseFolder, const std::string& logName,
                       std::string& shortPath) {
  shortPath.clear();
  if (baseFolder.empty() || !IsPlainFileName(logName)) return -1;

  std::string folder = Join(baseFolder, kLogFolderCompany);
  if (!EnsureFolder(folder)) return -1;
  folder = Join(folder, kLogFolderProduct);
  if (!EnsureFolder(folder)) return -1;

  const std::string path = Join(folder, logName);
  {
    UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return -1;
  }

  char shortName[MAX_PATH] = {};
  const DWORD length = GetShortPathNameA(path.c_str(), shortName, sizeof shortName);
  if (length == 0 || length >= sizeof shortName) return -1;
  shortPath.assign(shortName, length);
  return 0;
}

}  // namespace zvu
