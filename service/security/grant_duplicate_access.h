#pragma once

#include <windows.h>

namespace zvu {

// Access mask granted to the Administrators group on the service's process:
// generic read and the right to duplicate handles into it.
inline constexpr DWORD kAdministratorsProcessAccess = GENERIC_READ | PROCESS_DUP_HANDLE;

// Replaces the discretionary access list of the process processId with one
// entry that gives the built-in Administrators group generic read and
// handle duplication, so that clients run by administrators can hand the
// service their pipe handles. Returns 0, or ERROR_INVALID_HANDLE (6) when
// the process could not be opened; when the SID or list cannot be built,
// or setting it fails, the process keeps its previous list and 0 is
// returned.
DWORD GrantDuplicateAccess(DWORD processId);

}  // namespace zvu
