#pragma once

#include <windows.h>

namespace zvu {

// The one-instance rule: finds a top-level window of the main window's class
// on this desktop and, when there is one, brings it (and its last active
// pop-up, such as an open wizard) to the front, and posts it
// UWM_REGISTER_AGAIN: a second start is how the running instance learns that
// the service may have been restarted. True when another instance was
// found; this one should then end.
bool ActivateRunningInstance(const char* mainWindowClass);

}  // namespace zvu
