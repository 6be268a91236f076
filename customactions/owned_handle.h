#pragma once

#include <windows.h>
#include <msi.h>

#include <utility>

// The custom-action library shares no code with the two programs, so it keeps
// its own small owner for the handles it opens.
namespace zvu::hooks {

// Owns one handle and releases it with Close(handle) once. Both null and
// Invalid mean "no handle".
template <typename Handle, auto Close, auto Invalid>
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(Handle handle) : handle_(handle) {}
  ~OwnedHandle() { reset(); }

  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.release()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Handle get() const { return handle_; }
  bool valid() const { return handle_ != Handle(Invalid) && handle_ != Handle(); }
  explicit operator bool() const { return valid(); }

  Handle release() { return std::exchange(handle_, Handle(Invalid)); }
  void reset(Handle handle = Handle(Invalid)) {
    Handle old = std::exchange(handle_, handle);
    if (old != Handle(Invalid) && old != Handle()) Close(old);
  }
  Handle* put() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Handle(Invalid);
};

namespace detail {
inline void CloseKernelObject(HANDLE h) { ::CloseHandle(h); }
inline void CloseKey(HKEY k) { ::RegCloseKey(k); }
inline void CloseMsiHandle(MSIHANDLE h) { ::MsiCloseHandle(h); }
}  // namespace detail

// Processes, threads, events (no handle: null).
using KernelHandle = OwnedHandle<HANDLE, detail::CloseKernelObject, nullptr>;
using RegistryKey = OwnedHandle<HKEY, detail::CloseKey, nullptr>;
// Installer records (no handle: 0).
using MsiRecord = OwnedHandle<MSIHANDLE, detail::CloseMsiHandle, 0>;

}  // namespace zvu::hooks
