#pragma once

#include <windows.h>

#include "unique_handle.h"

namespace zvu {

namespace detail {
inline void CloseServiceManagerHandle(SC_HANDLE h) { ::CloseServiceHandle(h); }
}  // namespace detail

// A handle of the service control manager or of one service.
using UniqueServiceHandle = UniqueResource<SC_HANDLE, detail::CloseServiceManagerHandle, nullptr>;

}  // namespace zvu
