#include "application.h"

#include <atomic>

namespace zvu {
namespace {

Application* g_current = nullptr;
// Read by windows on the GUI thread and, for the tray icon's receiver, by
// nothing else; atomic so that a stray reader elsewhere is still defined.
std::atomic<HWND> g_mainWindow{nullptr};

}  // namespace

Application::Application() {
  if (g_current == nullptr) g_current = this;
}

Application::~Application() {
  if (g_current == this) g_current = nullptr;
}

Application* Application::Current() { return g_current; }

HWND Application::MainWindow() { return g_mainWindow.load(); }

void Application::SetMainWindow(HWND window) { g_mainWindow.store(window); }

bool Application::OnCommand(WORD) { return false; }

int Application::Run() {
  if (!InitInstance()) return ExitInstance(0);
  return ExitInstance(RunMessageLoop());
}

int RunMessageLoop() {
  MSG message{};
  for (;;) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return -1;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace zvu
