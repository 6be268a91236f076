#pragma once

#include <windows.h>

namespace zvu {

// The client's registered window messages, registered by name while the
// program's static data is initialised.
extern const UINT UWM_UPDATES_FOUND;               // "UWM_UPDATES_FOUND"
extern const UINT UWM_HTTPCLIENT_CALLBACK_NOTIFY;  // "UWM_HTTPCLIENT_CALLBACK_NOTIFY"
extern const UINT WM_XCHECKTREECTRL_TVN_SELECTION; // "WM_XCHECKTREECTRL_TVN_SELECTION" (check tree)
extern const UINT WM_TASKBARCREATED;               // "TaskbarCreated"

// The same numbers for code that may run before static initialisation has
// reached this file (each registers on first use).
UINT UpdatesFoundMessage();

}  // namespace zvu
