#include "window.h"

#include "application.h"

namespace zvu {

Window::~Window() {
  if (m_hWnd != nullptr && IsWindow(m_hWnd)) {
    // The object goes first: the window must not reach it any more.
    SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hWnd);
  }
}

bool Window::RegisterWindowClass(WNDCLASSEXA wc) {
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &Window::Procedure;
  if (wc.hInstance == nullptr) wc.hInstance = GetModuleHandleA(nullptr);
  if (RegisterClassExA(&wc) != 0) return true;
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool Window::Create(DWORD exStyle, const char* className, const char* title, DWORD style, int x,
                    int y, int width, int height, HWND parent, HMENU menu) {
  if (m_hWnd != nullptr) return false;
  HWND created = CreateWindowExA(exStyle, className, title, style, x, y, width, height, parent, menu,
                                 GetModuleHandleA(nullptr), this);
  return created != nullptr;
}

Window* Window::FromHandle(HWND window) {
  if (window == nullptr) return nullptr;
  return reinterpret_cast<Window*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK Window::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* self = nullptr;
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    self = static_cast<Window*>(create->lpCreateParams);
    if (self != nullptr) {
      self->m_hWnd = window;
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
  } else {
    self = FromHandle(window);
  }
  if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);

  const LRESULT result = self->HandleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    self->m_hWnd = nullptr;
    if (Application::MainWindow() == window) {
      Application::SetMainWindow(nullptr);
      PostQuitMessage(0);
    }
    self->OnFinalMessage();
  }
  return result;
}

}  // namespace zvu
