#pragma once

#include <windows.h>

namespace zvu {

// The update service's name with the service control manager.
inline constexpr char kUpdateServiceName[] = "ZelkoVuroUpdate";

// The process id of the running update service as the service control
// manager reports it; 0 when the service is not installed, not running, or
// cannot be asked about (GetLastError then says why). Any interactive user
// may ask: it needs only SC_MANAGER_CONNECT and SERVICE_QUERY_STATUS.
DWORD RunningServiceProcessId();

}  // namespace zvu
