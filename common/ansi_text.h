#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zvu {

// Conversions between the system's ANSI code page (CP_ACP) and UTF-16.
// Embedded NUL characters are carried over like any other character.
// Both return false (and leave the output empty) when the text is too long
// for the conversion functions or the conversion fails.
bool AnsiToWide(std::string_view text, std::wstring& wide);
bool WideToAnsi(std::wstring_view wide, std::string& text);

// The same, for callers that take an empty result on failure.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view wide);

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
