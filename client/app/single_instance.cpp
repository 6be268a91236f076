#include "single_instance.h"

#include "registered_messages.h"

namespace zvu {

bool ActivateRunningInstance(const char* mainWindowClass) {
  HWND running = FindWindowA(mainWindowClass, nullptr);
  if (running == nullptr) return false;

  // Posted, not sent: the running instance may be inside a wizard's modal
  // run, and this one must end at once all the same.
  PostMessageA(running, RegisterAgainMessage(), 0, 0);
  HWND popup = GetLastActivePopup(running);
  BringWindowToTop(running);
  if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
  SetForegroundWindow(GetAncestor(running, GA_ROOT));
  if (popup != nullptr && popup != running) {
    BringWindowToTop(popup);
    PostMessageA(popup, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(popup));
  }
  return true;
}

}  // namespace zvu
