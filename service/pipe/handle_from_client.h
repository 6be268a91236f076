#pragma once

#include <windows.h>

#include "unique_handle.h"

namespace zvu {

// The service's own copy, with the same access, of the handle that
// valueInClient names in the process clientProcessId. Null when that process
// cannot be opened for handle duplication or the value names no handle there.
// The service, as local system, may duplicate from a user's process; the
// user needs no right on the service's process for it.
UniqueHandle CopyHandleFromClient(DWORD clientProcessId, HANDLE valueInClient);

}  // namespace zvu
