#pragma once

#include <windows.h>

#include "client_table.h"

namespace zvu {

// Whether a registration's handle may go into the table. It must name, in
// this process, the write end of a pipe: a pipe handle that may write and
// may not read, which is all a client's write end carries (GENERIC_WRITE |
// SYNCHRONIZE), while the service's own pipe instances, sockets and read
// ends can read. It must not be a handle the service holds already: another
// client's registered pipe, a copy lent to a catalogue write, the pipe
// instance being served (servedInstance) or a standard handle. Anything else
// could make the service write into, or later close, a handle of its own. A
// rejected handle is left alone: nothing shows that it is ours to close.
// Who the client is and whether its process runs is decided elsewhere
// (CheckAndRegister).
//
// Only calls that such a write end allows are made on the handle: its
// granted access from the object's basic information and its file type,
// both of which need no access right.
bool IsAcceptableHandle(const ClientTable& table, HANDLE servedInstance, DWORD clientProcessId,
                        HANDLE pipe);

}  // namespace zvu
