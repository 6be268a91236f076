#pragma once

#include <windows.h>

#include <string>

namespace zvu::hooks {

// An older setup's keys below HKEY_LOCAL_MACHINE may sit in either registry
// view on 64-bit Windows: a 32-bit setup wrote into the 32-bit view
// (HKLM\Software\Wow6432Node). A key is looked for in the 64-bit view first
// and, where it is absent there, in the 32-bit view.

// The view flag (KEY_WOW64_64KEY or KEY_WOW64_32KEY) of the view where subkey
// was found, to open it again in that view; 0 when it is in neither (or
// cannot be opened).
REGSAM FindMachineKeyView(const wchar_t* subkey);

// A string value of the key subkey in the view where it was found, or empty
// when the key or the value cannot be read or the value is not a string. A
// value missing from a key that is there is not looked for in the other view.
std::wstring ReadMachineString(const wchar_t* subkey, const wchar_t* valueName);

}  // namespace zvu::hooks
