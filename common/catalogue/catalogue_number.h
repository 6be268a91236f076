#pragma once

#include <cstdint>
#include <string_view>

namespace zvu {

// Reads a catalogue number field: leading white space (space, tab, line
// feed, carriage return, vertical tab, form feed) is skipped, then an optional
// '+' or '-', then the decimal digits '0'-'9' up to the first other
// character. Text without leading digits gives 0. A value beyond the signed
// 32-bit range gives the nearest end of that range (2147483647 or
// -2147483648), however many digits follow.
int32_t ParseCatalogueNumber(std::wstring_view text);

}  // namespace zvu
