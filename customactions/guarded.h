#pragma once

#include <windows.h>

namespace zvu::hooks {

// Runs an action's body; an exception (out of memory) becomes the given
// result instead of leaving the library.
template <typename Body>
UINT Guarded(UINT resultOnException, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return resultOnException;
  }
}

}  // namespace zvu::hooks
