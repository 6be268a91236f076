#include "host_window.h"

#include <commctrl.h>

#include "check_tree.h"
#include "cursor.h"
#include "wait_until.h"

namespace zvu::test {

namespace {

constexpr wchar_t kClassName[] = L"ZvuControlsTestHost";

void RegisterHostClass(WNDPROC proc) {
  static bool registered = false;
  if (registered) return;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = proc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  registered = RegisterClassW(&windowClass) != 0;
}

void PostMouse(HWND window, UINT message, WPARAM keys, POINT point) {
  PostMessageW(window, message, keys, MAKELPARAM(point.x, point.y));
}

}  // namespace

HostWindow::HostWindow() {
  // Room enough that recording never allocates while a control is being
  // destroyed (tests watch the heap blocks freed then).
  selections.reserve(256);
  notifyCodes.reserve(4096);
  RegisterHostClass(&Proc);
  window_ = CreateWindowExW(0, kClassName, L"controls test", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                            40, 40, 420, 320, nullptr, nullptr, GetModuleHandleW(nullptr),
                            this);
  PumpMessages();
}

HostWindow::~HostWindow() { Destroy(); }

void HostWindow::Destroy() {
  if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
  window_ = nullptr;
  PumpMessages();
}

LRESULT CALLBACK HostWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* host = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (host != nullptr) {
    if (message == WM_XCHECKTREECTRL_TVN_SELECTION) {
      auto* change = reinterpret_cast<const NMTREEVIEWW*>(wParam);
      if (host->selections.size() < host->selections.capacity())
        host->selections.push_back(
          {change->itemNew.hItem, change->action, reinterpret_cast<const void*>(lParam)});
      return 0;
    }
    if (message == WM_NOTIFY) {
      if (host->notifyCodes.size() < host->notifyCodes.capacity())
        host->notifyCodes.push_back(reinterpret_cast<const NMHDR*>(lParam)->code);
    }
    if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void PumpMessages() { DispatchPostedMessages(); }

void Click(HWND window, POINT clientPoint) {
  MoveCursorTo(window, clientPoint);
  PostMouse(window, WM_LBUTTONDOWN, MK_LBUTTON, clientPoint);
  PostMouse(window, WM_LBUTTONUP, 0, clientPoint);
  PumpMessages();
}

void DoubleClick(HWND window, POINT clientPoint) {
  MoveCursorTo(window, clientPoint);
  PostMouse(window, WM_LBUTTONDOWN, MK_LBUTTON, clientPoint);
  PostMouse(window, WM_LBUTTONUP, 0, clientPoint);
  PostMouse(window, WM_LBUTTONDBLCLK, MK_LBUTTON, clientPoint);
  PostMouse(window, WM_LBUTTONUP, 0, clientPoint);
  PumpMessages();
}

void PressKey(HWND window, UINT virtualKey) {
  PostMessageW(window, WM_KEYDOWN, virtualKey, 1);
  PostMessageW(window, WM_KEYUP, virtualKey, 0xC0000001);
  PumpMessages();
}

}  // namespace zvu::test
