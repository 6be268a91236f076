#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace zvu {

// Owns one Windows handle and releases it with Close(handle) once.
// Invalid is the value that means "no handle" for this kind (nullptr or
// INVALID_HANDLE_VALUE).
template <typename Handle, auto Close, auto Invalid>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(Handle handle) : handle_(handle) {}
  ~UniqueResource() { reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
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
  // For out-parameters: releases the current handle and exposes the slot.
  Handle* put() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Handle(Invalid);
};

namespace detail {
inline void CloseKernelHandle(HANDLE h) { ::CloseHandle(h); }
inline void CloseRegistryKey(HKEY k) { ::RegCloseKey(k); }
inline void FreeLocalMemory(HLOCAL m) { ::LocalFree(m); }
inline void DestroyImageList(HIMAGELIST list) { ::ImageList_Destroy(list); }
inline void DeleteFontHandle(HFONT font) { ::DeleteObject(font); }
inline void DestroyIconHandle(HICON icon) { ::DestroyIcon(icon); }
}  // namespace detail

// Kernel objects whose "no handle" value is null (processes, threads, tokens, events).
using UniqueHandle = UniqueResource<HANDLE, detail::CloseKernelHandle, nullptr>;
// Files and pipes from CreateFile / CreateNamedPipe ("no handle" is INVALID_HANDLE_VALUE;
// null is treated as no handle too).
using UniqueFileHandle =
    UniqueResource<HANDLE, detail::CloseKernelHandle, (long long)(-1)>;
using UniqueRegKey = UniqueResource<HKEY, detail::CloseRegistryKey, nullptr>;
// Memory that the system allocated for the caller to release with LocalFree
// (security descriptors from SDDL, formatted messages).
using UniqueLocalMemory = UniqueResource<HLOCAL, detail::FreeLocalMemory, nullptr>;
// Image lists of the common controls (users link comctl32).
using UniqueImageList = UniqueResource<HIMAGELIST, detail::DestroyImageList, nullptr>;
// Fonts created with CreateFontIndirect (users link gdi32).
using UniqueFont = UniqueResource<HFONT, detail::DeleteFontHandle, nullptr>;
// Icons loaded with LoadImage (not shared ones from LoadIcon).
using UniqueIcon = UniqueResource<HICON, detail::DestroyIconHandle, nullptr>;

}  // namespace zvu
