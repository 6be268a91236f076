#pragma once

#include <windows.h>

namespace zvu {

// Shows the modal "About Vuro Update" box (dialog 148) over `owner`: the
// program's product version and legal notice from its version resource and
// a link to the maker's web site (string 106). Returns when it is closed.
void AboutDialog(HWND owner);

}  // namespace zvu
