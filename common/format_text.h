#pragma once

#include <string>

namespace zvu {

// printf-style formatting into a string sized to fit, so that a long
// argument (a product name from a catalogue) is never cut. Empty when the
// format cannot be applied.
std::string FormatText(const char* format, ...);

}  // namespace zvu
