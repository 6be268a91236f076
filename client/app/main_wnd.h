#pragma once

#include <windows.h>

#include <string>

#include "pipe_client.h"
#include "system_tray.h"
#include "window.h"
#include "client_texts.h"

namespace zvu {

class XUpdateWizard;

// The program's hidden main window. It owns the tray icon and the pipe
// client, opens the client log for the program's life, and routes commands:
// "Check for Updates" (ID_CHECK_FOR_UPDATES) is its own, everything else goes to the
// application. A catalogue announced by the pipe client shows the balloon,
// and a click on the balloon brings the running wizard to the front;
// UWM_REGISTER_AGAIN from a second start brings the pipe client's
// registration up to date.
class CMainWnd : public Window {
 public:
  // Window class of the main window; also the key of the one-instance rule.
  static constexpr char kClassName[] = "VuroUpdate_{93F58607-6692-42a5-B316-8BAD954921AB}";
  static constexpr const char* kTitle = client_texts::kMainTitle;
  static constexpr UINT kTrayCallbackMessage = 32778;

  static bool RegisterMainWindowClass();

  // Creates a main window that deletes itself when its window is destroyed.
  // Null when the window could not be created.
  static CMainWnd* CreateOwnedByWindow();

  // Opens the client log; the window is created by CreateFrame.
  CMainWnd();
  ~CMainWnd() override;

  bool CreateFrame();

  CSystemTray& Tray() { return tray_; }
  PipeClient& Pipe() { return pipeClient_; }
  bool WizardOpen() const { return wizardOpen != 0; }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage() override;

  // "Check for Updates": the wizard on its welcome page, or the running
  // wizard brought to the front.
  virtual void OnCheckForUpdates();
  // A catalogue from the service: the balloon, then the wizard on the
  // catalogue (or the running wizard brought to the front).
  virtual void OnUpdatesFound();
  // A click on the balloon: the running wizard brought to the front.
  virtual void OnBalloonClicked();

 private:
  bool OnCreate();
  // Runs a wizard modally from this window; catalogue, when given, is the
  // text handed over by the service.
  void RunWizard(int startPage, const std::string* catalogue);

  CSystemTray tray_;
  // wizardOpen and activeWizard: names fixed by the product's design.
  LONG wizardOpen = 0;
  XUpdateWizard* activeWizard = nullptr;
  PipeClient pipeClient_;
  bool ownedByWindow_ = false;
  // "Exit" while a wizard runs: the window closes once the wizard has ended
  // (the wizard's objects live on this window's stack until then).
  bool closeAfterWizard_ = false;
};

}  // namespace zvu
