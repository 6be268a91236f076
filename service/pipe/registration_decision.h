#pragma once

#include <windows.h>

#include "client_table.h"
#include "registration_system.h"

namespace zvu {

// The check a registration failed, in the order they are made; kAccepted
// when it passed them all and went into the table.
enum class RegistrationCheck {
  kAccepted,
  kOtherProcess,      // the claimed process is not the pipe's client
  kNoProcess,         // the claimed id is 0 or the service's own
  kNotIdentified,     // the pipe's client could not be identified
  kProcessNotOpened,  // the claimed process could not be opened
  kProcessEnded,      // the claimed process has ended
  kTokenNotRead,      // the claimed process's token could not be read
  kOtherUser,         // the claimed process runs as another user than the pipe's client
  kHigherIntegrity,   // ... or at a higher integrity level
  kHandleNotCopied,   // the value names no handle in the claimed process
  kNoWriteEnd,        // the handle is no write end the service may take
};

struct RegistrationVerdict {
  RegistrationCheck check = RegistrationCheck::kNotIdentified;
  DWORD error = 0;  // the Windows error of the failed step, where it has one
};

// Decides on a registration that came in on the pipe instance pipe and, when
// it passes, enters it into the table. The checks, in this order:
//  1. the claimed process is the pipe's client (connectedProcessId, 0 when
//     the pipe could not name it), and neither 0 nor the service;
//  2. the pipe's client is identified: its user, integrity level, and
//     whether its Administrators group is enabled;
//  3. the claimed process is opened, once, and has not ended;
//  4. from a client whose Administrators group is enabled, the value may name
//     a write end that the service holds already: such a client may
//     duplicate into the service, so only it can have put the handle there;
//  5. otherwise the value is a handle of the claimed process, which must be
//     the pipe's client, run as the same user, at an integrity level no
//     higher than the client's; the value is copied out of the process
//     through the handle opened in step 3 (no second open by id, so a
//     process id taken over by another process meanwhile cannot lend its
//     handles) and the copy must be an acceptable write end.
// A refused copy is closed; a value of the service's own is left alone.
RegistrationVerdict CheckAndRegister(ClientTable& table, RegistrationSystem& system,
                                     DWORD serviceProcessId, HANDLE pipe,
                                     DWORD connectedProcessId, DWORD claimedProcessId,
                                     HANDLE value);

}  // namespace zvu
