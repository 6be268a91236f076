#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "http_client.h"
#include "log_capture.h"
#include "temp_files.h"
#include "wait_until.h"

namespace zvu::test {

// The fixture server's host, and the states that end a transfer.
inline const std::wstring kHost = L"" ZVU_TEST_UPDATE_HOST;
inline const std::vector<HttpState> kFinal = {HttpState::Complete, HttpState::Failed};

// Starts a plain-HTTP GET of path from the fixture server into memory (file
// empty) or into file; returns the first failing operation's result.
DWORD StartGet(XHttpClient& client, const std::wstring& path, const std::string& file = {});

// Waits until the client's state is one of the given ones.
bool WaitForState(const XHttpClient& client, std::vector<HttpState> states,
                  std::chrono::milliseconds limit = std::chrono::seconds(15));

// Waits until the log holds count closing records of request handles. A
// request's closing is the last thing WinHTTP reports of it: once it is
// logged, no status of that request is left to arrive. Messages sent to the
// calling thread are dispatched meanwhile and once more at the end.
bool WaitForRequestsClosed(const LogCapture& log, size_t count,
                           std::chrono::milliseconds limit = std::chrono::seconds(15));

// Waits, dispatching nothing, until a message sent from another thread waits
// for the calling thread (a worker is blocked in SendMessage to one of its
// windows).
bool WaitForWaitingSend(std::chrono::milliseconds limit = std::chrono::seconds(15));

// A message-only window on the calling thread that hands every
// UWM_HTTPCLIENT_CALLBACK_NOTIFY to a handler.
class NotifyWindow {
 public:
  using Handler = std::function<void(XHttpClient* client, DWORD status)>;
  explicit NotifyWindow(Handler handler);
  ~NotifyWindow();
  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
  Handler handler_;
};

// Writes <fixture>/files/<name> and returns its contents: size bytes of a
// pattern that differs at every offset, so that a misplaced chunk shows.
std::string WriteServedFile(const std::string& name, size_t size);


}  // namespace zvu::test
