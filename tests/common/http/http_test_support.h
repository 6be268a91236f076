#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "http_client.h"

namespace zvu::test {

// The fixture server's host, and the states that end a transfer.
inline const std::wstring kHost = L"" ZVU_TEST_UPDATE_HOST;
inline const std::vector<HttpState> kFinal = {HttpState::Complete, HttpState::Failed};

// Starts a plain-HTTP GET of path from the fixture server into memory (file
// empty) or into file; returns the first failing operation's result.
DWORD StartGet(XHttpClient& client, const std::wstring& path, const std::string& file = {});

// Sends the program log to a fresh file for one test and reads it back.
class LogCapture {
 public:
  explicit LogCapture(const std::string& name);
  ~LogCapture();
  std::string Text() const;

 private:
  std::string m_strPath;
};

// A path in the temporary folder (the file is deleted first).
std::string TempFilePath(const std::string& name);

// Dispatches messages sent or posted to this thread until done() holds or the
// time is up; returns done().
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(15));

// Waits until the client's state is one of the given ones.
bool WaitForState(const XHttpClient& client, std::vector<HttpState> states,
                  std::chrono::milliseconds limit = std::chrono::seconds(15));

// A message-only window on the calling thread that hands every
// UWM_HTTPCLIENT_CALLBACK_NOTIFY to a handler.
class NotifyWindow {
 public:
  using Handler = std::function<void(XHttpClient* client, DWORD status)>;
  explicit NotifyWindow(Handler handler);
  ~NotifyWindow();
  HWND Handle() const { return m_hWnd; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND m_hWnd = nullptr;
  Handler m_handler;
};

// Writes <fixture>/files/<name> and returns its contents: size bytes of a
// pattern that differs at every offset, so that a misplaced chunk shows.
std::string WriteServedFile(const std::string& name, size_t size);

// Lines of the fixture server's request log.
std::vector<std::string> ServedRequests();

}  // namespace zvu::test
