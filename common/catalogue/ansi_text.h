#pragma once

#include <string>
#include <string_view>

namespace zvu {

// Conversions between the system's ANSI code page (CP_ACP) and UTF-16.
// Embedded NUL characters are carried over like any other character.
// Both return false (and leave the output empty) when the text is too long
// for the conversion functions or the conversion fails.
bool AnsiToWide(std::string_view text, std::wstring& wide);
bool WideToAnsi(std::wstring_view wide, std::string& text);

}  // namespace zvu
