#pragma once

#include <optional>
#include <string_view>

namespace zvu {

// The leading decimal number of a version text such as "5.0.7601.17514":
// leading white space is skipped, digits are read up to the first other
// character. 0 when there are no digits; very large numbers stop at INT_MAX.
int LeadingDecimalNumber(std::string_view text);

// Major version of the Windows Installer, from the file version of Msi.dll in
// the system folder; nothing when the version cannot be read.
std::optional<int> QueryWindowsInstallerMajorVersion();

}  // namespace zvu
