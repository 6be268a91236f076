#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

namespace zvu::test {

// What reached a host window from its controls.
struct SelectionMessage {
  HTREEITEM item = nullptr;    // the newly selected row
  UINT action = 0;             // TVC_BYMOUSE, TVC_BYKEYBOARD, ...
  const void* record = nullptr;  // the second parameter
};

// A visible top-level window that holds the controls under test and records
// the check tree's selection messages and every notification it is shown.
class HostWindow {
 public:
  HostWindow();
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND hwnd() const { return window_; }
  // Destroys the window now (the destructor then has nothing left to do).
  void Destroy();

  std::vector<SelectionMessage> selections;
  std::vector<UINT> notifyCodes;  // WM_NOTIFY codes that got through

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
};

// Dispatches every message waiting in this thread's queue.
void PumpMessages();

// A left click (or double click) on a client point of `window`, as real
// mouse messages: the cursor is moved there first, so that the messages
// carry that position.
void Click(HWND window, POINT clientPoint);
void DoubleClick(HWND window, POINT clientPoint);
void PressKey(HWND window, UINT virtualKey);

}  // namespace zvu::test
