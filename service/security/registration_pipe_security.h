#pragma once

#include <windows.h>

#include "unique_handle.h"

namespace zvu {

// What interactive users may do with the registration pipe: read and write
// through a client end, nothing more. This is FILE_GENERIC_READ together with
// FILE_GENERIC_WRITE without FILE_APPEND_DATA, because for a pipe that bit is
// FILE_CREATE_PIPE_INSTANCE: a user who held it could create a server end of
// the same name and take clients' registrations.
//   READ_CONTROL | SYNCHRONIZE                 0x00120000
//   FILE_READ_DATA | FILE_READ_EA | FILE_READ_ATTRIBUTES    0x00000089
//   FILE_WRITE_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES 0x00000112
inline constexpr DWORD kInteractiveUsersPipeAccess = 0x0012019B;

// The registration pipe's security: full control for local system and the
// administrators, read and write for interactive users (S-1-5-4), no one
// else. Interactive users cover the clients of standard users and of
// administrators whose desktop runs with a filtered token.
inline constexpr char kRegistrationPipeSddl[] =
    "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x12019b;;;IU)";

// Owns the security descriptor built from kRegistrationPipeSddl (or another
// pipe's descriptor text) and hands it out as security attributes for
// CreateNamedPipe.
class RegistrationPipeSecurity {
 public:
  explicit RegistrationPipeSecurity(const char* sddl = kRegistrationPipeSddl);
  RegistrationPipeSecurity(const RegistrationPipeSecurity&) = delete;
  RegistrationPipeSecurity& operator=(const RegistrationPipeSecurity&) = delete;

  // Null when the descriptor could not be built (see Error()).
  SECURITY_ATTRIBUTES* Attributes();
  DWORD Error() const { return error_; }

 private:
  UniqueLocalMemory descriptor_;
  SECURITY_ATTRIBUTES attributes_{};
  DWORD error_ = 0;
};

}  // namespace zvu
