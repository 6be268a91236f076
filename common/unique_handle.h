#pragma once

#include <windows.h>
#include <commctrl.h>
#include <msi.h>
#include <userenv.h>

#include <cstdio>
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

// Each kind below names its release function only in an inline function, so
// a program links the library behind a kind only when it uses that kind (the
// custom-action library includes this header and links nothing of common/).
namespace detail {
inline void CloseKernelHandle(HANDLE h) { ::CloseHandle(h); }
inline void CloseRegistryKey(HKEY k) { ::RegCloseKey(k); }
inline void FreeLocalMemory(HLOCAL m) { ::LocalFree(m); }
inline void DestroyImageList(HIMAGELIST list) { ::ImageList_Destroy(list); }
template <typename GdiObject>
inline void DeleteGdiObject(GdiObject object) { ::DeleteObject(object); }
inline void DestroyIconHandle(HICON icon) { ::DestroyIcon(icon); }
inline void UnloadModule(HMODULE module) { ::FreeLibrary(module); }
inline void DestroyMenuHandle(HMENU menu) { ::DestroyMenu(menu); }
inline void CloseServiceManagerHandle(SC_HANDLE h) { ::CloseServiceHandle(h); }
inline void CloseInstallerHandle(MSIHANDLE h) { ::MsiCloseHandle(h); }
inline void CloseStream(std::FILE* file) { std::fclose(file); }
inline void DestroyUserEnvironment(void* block) { ::DestroyEnvironmentBlock(block); }
// Blocks until a callback of the wait that is running has returned.
inline void UnregisterWaitAndBlock(HANDLE wait) { ::UnregisterWaitEx(wait, INVALID_HANDLE_VALUE); }
inline void CloseFindHandle(HANDLE search) { ::FindClose(search); }
// Stops the timer, cancels a callback not yet started and waits for a running one.
inline void CloseThreadpoolTimerAndWait(PTP_TIMER timer) {
  ::SetThreadpoolTimer(timer, nullptr, 0, 0);
  ::WaitForThreadpoolTimerCallbacks(timer, TRUE);
  ::CloseThreadpoolTimer(timer);
}
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
// GDI objects this code created (users link gdi32). Only for an object that
// is not selected into a device context when it goes.
template <typename GdiObject>
using UniqueGdiObject = UniqueResource<GdiObject, detail::DeleteGdiObject<GdiObject>, nullptr>;
// Fonts created with CreateFontIndirect.
using UniqueFont = UniqueGdiObject<HFONT>;
// Bitmaps loaded with LoadImage or LoadBitmap.
using UniqueBitmap = UniqueGdiObject<HBITMAP>;
// Icons loaded with LoadImage (not shared ones from LoadIcon).
using UniqueIcon = UniqueResource<HICON, detail::DestroyIconHandle, nullptr>;
// Modules loaded with LoadLibrary.
using UniqueModule = UniqueResource<HMODULE, detail::UnloadModule, nullptr>;
// Menus loaded or created by this code and attached to no window (a window
// destroys its own menu).
using UniqueMenu = UniqueResource<HMENU, detail::DestroyMenuHandle, nullptr>;
// A handle of the service control manager or of one service (users link advapi32).
using UniqueServiceHandle = UniqueResource<SC_HANDLE, detail::CloseServiceManagerHandle, nullptr>;
// Windows Installer handles: records, views, databases ("no handle" is 0; users link msi).
using UniqueMsiHandle = UniqueResource<MSIHANDLE, detail::CloseInstallerHandle, 0>;
// C streams from fopen. A caller that must know whether the last write
// reached the file calls fclose itself on release() and checks its result.
using UniqueFile = UniqueResource<std::FILE*, detail::CloseStream, nullptr>;
// An environment block from CreateEnvironmentBlock (users link userenv).
using UniqueEnvironmentBlock = UniqueResource<void*, detail::DestroyUserEnvironment, nullptr>;
// A wait from RegisterWaitForSingleObject. Ending it blocks until a running
// callback has returned, so it must never end on the wait's own callback thread.
using UniqueWait = UniqueResource<HANDLE, detail::UnregisterWaitAndBlock, nullptr>;
// A timer from CreateThreadpoolTimer. Ending it blocks until a running
// callback has returned, so it must never end on the timer's own callback.
using UniqueThreadpoolTimer =
    UniqueResource<PTP_TIMER, detail::CloseThreadpoolTimerAndWait, nullptr>;
// A search from FindFirstFile ("no handle" is INVALID_HANDLE_VALUE).
using UniqueFindHandle = UniqueResource<HANDLE, detail::CloseFindHandle, (long long)(-1)>;

}  // namespace zvu
