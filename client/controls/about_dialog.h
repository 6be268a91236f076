#pragma once

#include <windows.h>

#include "open_link.h"

namespace zvu {

// Shows the modal "About Vuro Update" box (dialog 148) over `owner`: the
// program's product version and legal notice from its version resource and
// a link to the maker's web site (string 106), which opens through
// `launcher`. Returns when it is closed.
void AboutDialog(HWND owner, const LinkLauncher& launcher = SystemLinkLauncher());

}  // namespace zvu
