#pragma once

#include <windows.h>

namespace zvu {

// A window whose procedure reaches its C++ object. The object travels as the
// creation parameter of CreateWindowEx and is kept in the window's user data
// from WM_NCCREATE on; messages that arrive before that go to DefWindowProc.
//
// Classes registered with RegisterWindowClass use Window::Procedure; a
// derived class overrides HandleMessage and calls Window::HandleMessage for
// what it leaves alone. After WM_NCDESTROY the object no longer has a window
// and OnFinalMessage runs (a window that owns itself deletes itself there).
class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND Handle() const { return m_hWnd; }

  // Registers a class whose procedure is Window::Procedure. The fields of
  // wc other than cbSize, lpfnWndProc and hInstance are taken as given
  // (hInstance defaults to this module). Registering a class that already
  // exists counts as success.
  static bool RegisterWindowClass(WNDCLASSEXA wc);

  // Creates the window for this object; false when creation fails.
  bool Create(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y,
              int width, int height, HWND parent, HMENU menu);

  // The object of a window created through this class, or null.
  static Window* FromHandle(HWND window);

 protected:
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  virtual void OnFinalMessage() {}

  HWND m_hWnd = nullptr;  // name fixed by the product's design

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace zvu
