#pragma once

#include <string>

namespace zvu::hooks {

// A string value below HKEY_LOCAL_MACHINE, or empty when the key or the value
// cannot be read or the value is not a string.
std::wstring ReadMachineString(const wchar_t* subkey, const wchar_t* valueName);

}  // namespace zvu::hooks
