#include "installer_version.h"

#include <windows.h>
#include <msi.h>

#include <climits>
#include <string>

namespace zvu {

int LeadingDecimalNumber(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) {
    ++pos;
  }
  long long value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    value = value * 10 + (text[pos] - '0');
    if (value > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(value);
}

std::optional<int> QueryWindowsInstallerMajorVersion() {
  char systemFolder[256] = {};
  const UINT length = GetSystemDirectoryA(systemFolder, sizeof systemFolder);
  if (length == 0 || length >= sizeof systemFolder) return std::nullopt;
  const std::string msiPath = std::string(systemFolder) + "\\Msi.dll";

  char version[256] = {};
  DWORD versionLength = sizeof version;
  if (MsiGetFileVersionA(msiPath.c_str(), version, &versionLength, nullptr, nullptr) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return LeadingDecimalNumber(version);
}

}  // namespace zvu
