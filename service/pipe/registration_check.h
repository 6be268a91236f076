#pragma once

#include <windows.h>

#include "client_table.h"

namespace zvu {

// Whether a registration may go into the table. The handle value comes
// from another process and is taken only when it names, in this process,
// the writing end of a pipe that no other client has registered; the
// process id must name a running process other than the service. Anything
// else could make the service write into, or later close, a handle of its
// own. A rejected handle is left alone: nothing shows that it is ours to close.
bool IsAcceptableRegistration(const ClientTable& table, DWORD serviceProcessId,
                              DWORD clientProcessId, HANDLE pipe);

}  // namespace zvu
