#pragma once

#include <windows.h>

namespace zvu {

// The program's application object: initialisation, the message loop and the
// commands that belong to the program rather than to a window. One instance
// at a time; windows reach it through Current().
//
// The main window is the window whose destruction ends the message loop;
// windows without an owner of their own (the tray icon) send their commands
// there.
class Application {
 public:
  Application();
  virtual ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  static Application* Current();

  // Runs InitInstance and, when it succeeds, the message loop until
  // WM_QUIT; then ExitInstance. The result is the program's exit code.
  int Run();

  static HWND MainWindow();
  static void SetMainWindow(HWND window);

  // A command that no window handled. True when handled.
  virtual bool OnCommand(WORD command);

 protected:
  // False ends the program without running the message loop.
  virtual bool InitInstance() = 0;
  virtual int ExitInstance(int exitCode) { return exitCode; }
};

// Runs the thread's message loop until WM_QUIT; returns its wParam.
int RunMessageLoop();

}  // namespace zvu
