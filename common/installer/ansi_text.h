#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zvu {

// Helpers for narrow text in a Windows code page. They step over double-byte
// characters as a whole, so a trail byte is never taken for a character of
// its own.

// The text without white space (space, tab, CR, LF, VT, FF) at its end.
std::string TrimTrailingWhiteSpace(std::string_view text, UINT codePage = CP_ACP);

// Position of the first occurrence of pattern that starts on a character
// boundary at or after `from`, or std::string_view::npos.
size_t FindInAnsiText(std::string_view text, std::string_view pattern, size_t from = 0,
                      UINT codePage = CP_ACP);

}  // namespace zvu
