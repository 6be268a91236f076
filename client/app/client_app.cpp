#include "client_app.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "about_dialog.h"
#include "client_log.h"
#include "main_wnd.h"
#include "resource_ids.h"
#include "single_instance.h"

namespace zvu {

bool ClientApp::InitInstance() {
  if (!CMainWnd::RegisterMainWindowClass()) return false;
  if (ActivateRunningInstance(CMainWnd::kClassName)) return false;

  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  // The wizard's pages fetch and parse catalogues through COM objects.
  comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  // The update selection page shows descriptions in a rich edit 2.0 control.
  richEdit_.reset(LoadLibraryA("riched20.dll"));

  CMainWnd* mainWindow = CMainWnd::CreateOwnedByWindow();
  if (mainWindow == nullptr) return false;
  SetMainWindow(mainWindow->Handle());
  return true;
}

int ClientApp::ExitInstance(int exitCode) {
  // The main window closes the log; a start that ended early may not have.
  clientLog::Close();
  if (comInitialised_) CoUninitialize();
  comInitialised_ = false;
  return exitCode;
}

bool ClientApp::OnCommand(WORD command) {
  switch (command) {
    case ID_APP_ABOUT:
      AboutDialog(MainWindow());
      return true;
    case ID_APP_EXIT:
      if (HWND mainWindow = MainWindow()) SendMessageA(mainWindow, WM_CLOSE, 0, 0);
      return true;
    default:
      return false;
  }
}

}  // namespace zvu
