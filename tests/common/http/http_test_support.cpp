#include "http_test_support.h"

#include <algorithm>
#include <sstream>

#include "program_log.h"
#include "test_env.h"

namespace zvu::test {

bool WaitForState(const XHttpClient& client, std::vector<HttpState> states,
                  std::chrono::milliseconds limit) {
  return WaitUntil(
      [&] {
        return std::find(states.begin(), states.end(), client.GetHttpState()) != states.end();
      },
      limit);
}

bool WaitForRequestsClosed(const LogCapture& log, size_t count,
                           std::chrono::milliseconds limit) {
  const bool closed =
      WaitUntil([&] { return log.Count(" Closing Connection...\r\n") >= count; }, limit);
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  return closed;
}

bool WaitForWaitingSend(std::chrono::milliseconds limit) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(limit.count());
  for (;;) {
    if (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    // Wakes for a send that arrives after the look above; the slice only
    // bounds the wait should the wake-up be missed.
    const auto slice = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 50));
    MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_SENDMESSAGE);
  }
}

NotifyWindow::NotifyWindow(Handler handler) : handler_(std::move(handler)) {
  static const wchar_t kClass[] = L"ZvuHttpTestNotifyWindow";
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClass;
  RegisterClassW(&windowClass);  // fails harmlessly once registered
  window_ = CreateWindowW(kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

NotifyWindow::~NotifyWindow() { DestroyWindow(window_); }

LRESULT CALLBACK NotifyWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  if (message == HttpClientNotifyMessage()) {
    auto* self = reinterpret_cast<NotifyWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && self->handler_) {
      self->handler_(reinterpret_cast<XHttpClient*>(wParam), static_cast<DWORD>(lParam));
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

std::string WriteServedFile(const std::string& name, size_t size) {
  std::string contents(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    contents[i] = static_cast<char>('A' + (i * 7 + i / 8191) % 26);
  }
  WriteFixtureFile("files/" + name, contents);
  return contents;
}

DWORD StartGet(XHttpClient& client, const std::wstring& path, const std::string& file) {
  if (DWORD error = client.Connect(kHost, false, true); error != 0) return error;
  client.SetObject(path);
  return file.empty() ? client.Get() : client.GetToFile(file);
}

}  // namespace zvu::test
