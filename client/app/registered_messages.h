#pragma once

#include <windows.h>

namespace zvu {

// The client's registered window messages, registered by name while the
// program's static data is initialised.
extern const UINT UWM_UPDATES_FOUND;               // "UWM_UPDATES_FOUND"
extern const UINT UWM_HTTPCLIENT_CALLBACK_NOTIFY;  // "UWM_HTTPCLIENT_CALLBACK_NOTIFY"
extern const UINT WM_XCHECKTREECTRL_TVN_SELECTION; // "WM_XCHECKTREECTRL_TVN_SELECTION" (check tree)
extern const UINT WM_TASKBARCREATED;               // "TaskbarCreated"
// Posted by a second start of the program to the running instance's main
// window, both parameters 0: register with the service again where the
// registration is not with its current process.
extern const UINT UWM_REGISTER_AGAIN;              // "UWM_VUROUPDATE_REGISTER_AGAIN"

// The same numbers for code that may run before static initialisation has
// reached this file (each registers on first use).
UINT UpdatesFoundMessage();
UINT RegisterAgainMessage();

}  // namespace zvu
