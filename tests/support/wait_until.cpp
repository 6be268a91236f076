#include "wait_until.h"

namespace zvu::test {

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

bool DispatchPostedMessages(std::chrono::milliseconds limit) {
  static const UINT kMarker = RegisterWindowMessageW(L"ZvuTestPostedMessagesDispatched");
  PostThreadMessageW(GetCurrentThreadId(), kMarker, 0, 0);
  bool marked = false;
  return WaitUntil(
      [&] {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
          if (message.hwnd == nullptr && message.message == kMarker) {
            marked = true;
            continue;
          }
          TranslateMessage(&message);
          DispatchMessageW(&message);
        }
        return marked;
      },
      limit);
}

}  // namespace zvu::test
