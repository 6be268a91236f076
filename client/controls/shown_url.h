#pragma once

#include <string>

namespace zvu {

// An address from a catalogue as it is shown in one log record: control
// characters (a line end would forge records) become '?', and the text is
// cut after 1024 characters, marked by "...".
std::string ShownUrl(const std::string& url);

}  // namespace zvu
