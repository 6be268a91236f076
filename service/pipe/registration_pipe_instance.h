#pragma once

#include <windows.h>

namespace zvu {

// Creates one server end of the registration pipe (overlapped, so that the
// registration thread can stop while it waits). first: this instance must be
// the first of its name, so that the service never serves a name that
// another process created before it. Returns the handle, or
// INVALID_HANDLE_VALUE with the last error set.
using PipeInstanceFactory = HANDLE (*)(bool first, SECURITY_ATTRIBUTES* security);

HANDLE CreateRegistrationPipeInstance(bool first, SECURITY_ATTRIBUTES* security);

}  // namespace zvu
