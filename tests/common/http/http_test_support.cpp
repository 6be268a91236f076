#include "http_test_support.h"

#include <algorithm>
#include <sstream>

#include "program_log.h"
#include "test_env.h"

namespace zvu::test {

std::string TempFilePath(const std::string& name) {
  char dir[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  std::string path = std::string(dir) + name;
  DeleteFileA(path.c_str());
  return path;
}

LogCapture::LogCapture(const std::string& name) : m_strPath(TempFilePath(name + ".log")) {
  ProgramLog::Open(m_strPath.c_str());
}

LogCapture::~LogCapture() {
  ProgramLog::Close();
  DeleteFileA(m_strPath.c_str());
}

std::string LogCapture::Text() const { return ReadWholeFile(m_strPath); }

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

bool WaitForState(const XHttpClient& client, std::vector<HttpState> states,
                  std::chrono::milliseconds limit) {
  return WaitUntil(
      [&] {
        return std::find(states.begin(), states.end(), client.GetHttpState()) != states.end();
      },
      limit);
}

NotifyWindow::NotifyWindow(Handler handler) : m_handler(std::move(handler)) {
  static const wchar_t kClass[] = L"ZvuHttpTestNotifyWindow";
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClass;
  RegisterClassW(&windowClass);  // fails harmlessly once registered
  m_hWnd = CreateWindowW(kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

NotifyWindow::~NotifyWindow() { DestroyWindow(m_hWnd); }

LRESULT CALLBACK NotifyWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  if (message == HttpClientNotifyMessage()) {
    auto* self = reinterpret_cast<NotifyWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && self->m_handler) {
      self->m_handler(reinterpret_cast<XHttpClient*>(wParam), static_cast<DWORD>(lParam));
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

std::vector<std::string> ServedRequests() {
  std::istringstream log(ReadWholeFile(FixtureDirWindows() + "\\requests.log"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

DWORD StartGet(XHttpClient& client, const std::wstring& path, const std::string& file) {
  if (DWORD error = client.Connect(kHost, false, true); error != 0) return error;
  client.SetObject(path);
  return file.empty() ? client.Get() : client.GetToFile(file);
}

}  // namespace zvu::test
