#include "main_wnd.h"

#include "application.h"
#include "client_log.h"
#include "registered_messages.h"
#include "resource_ids.h"
#include "update_wizard.h"
#include "client_texts.h"

namespace zvu {
namespace {

constexpr UINT kTrayBalloonTimeoutSeconds = 10;
constexpr UINT kUpdatesBalloonTimeoutSeconds = 30;

HICON ProgramIcon() { return LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME)); }

}  // namespace

bool CMainWnd::RegisterMainWindowClass() {
  WNDCLASSEXA wc{};
  wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClassName;
  return RegisterWindowClass(wc);
}

CMainWnd* CMainWnd::CreateOwnedByWindow() {
  auto* window = new CMainWnd();
  if (!window->CreateFrame()) {
    delete window;
    return nullptr;
  }
  window->ownedByWindow_ = true;
  return window;
}

CMainWnd::CMainWnd() {
  // Without a log the program runs on; its records are then dropped.
  clientLog::Open();
}

CMainWnd::~CMainWnd() {
  clientLog::Close();
  if (m_hWnd != nullptr) {
    // Destroyed while its window lives (a creation that failed half-way, or a
    // test): the window must not come back to this object.
    SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
  }
}

bool CMainWnd::CreateFrame() {
  if (!Create(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
              CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr)) {
    return false;
  }
  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ProgramIcon()));
  return true;
}

bool CMainWnd::OnCreate() {
  if (!tray_.Create(nullptr, kTrayCallbackMessage, kTitle, ProgramIcon(), IDR_SYSTRAY_MENU, false,
                    nullptr, nullptr, 0, kTrayBalloonTimeoutSeconds)) {
    return false;
  }
  tray_.SetMenuDefaultItem(ID_CHECK_FOR_UPDATES, false);
  // A second start of the program, which may run with a lower integrity
  // level than this one (this one elevated), asks this window to register
  // again: let that message through. It makes this process do nothing but
  // check its registration with the service it trusts.
  ChangeWindowMessageFilterEx(m_hWnd, RegisterAgainMessage(), MSGFLT_ALLOW, nullptr);
  // Without the service the program still runs: updates are then found only
  // when the user checks from the tray, or once a second start asks this
  // window to register again.
  pipeClient_.Register();
  pipeClient_.SetTarget(m_hWnd);
  return true;
}

void CMainWnd::OnCheckForUpdates() {
  if (wizardOpen != 0) {
    if (activeWizard != nullptr) activeWizard->BringToFront();
    return;
  }
  RunWizard(XUpdateWizard::kWelcomePage, nullptr);
}

void CMainWnd::OnUpdatesFound() {
  tray_.ShowBalloon(client_texts::kUpdatesFoundBalloon, client_texts::kCaption, NIIF_INFO, kUpdatesBalloonTimeoutSeconds);
  // A running wizard keeps the catalogue it has.
  if (wizardOpen != 0) {
    if (activeWizard != nullptr) activeWizard->BringToFront();
    return;
  }
  const std::string catalogue = pipeClient_.Text();
  RunWizard(XUpdateWizard::kSelectionPage, &catalogue);
}

void CMainWnd::OnBalloonClicked() {
  // The user answers "New Updates Found": the wizard that shows them. With
  // none open (it has been closed since), there is nothing to show.
  if (wizardOpen != 0 && activeWizard != nullptr) activeWizard->BringToFront();
}

void CMainWnd::RunWizard(int startPage, const std::string* catalogue) {
  {
    XUpdateWizard wizard(client_texts::kCaption, m_hWnd, startPage);
    wizardOpen = 1;
    activeWizard = &wizard;
    if (catalogue != nullptr) wizard.OpenOnCatalogue(*catalogue);
    wizard.DoModal();
    activeWizard = nullptr;
    wizardOpen = 0;
  }
  if (closeAfterWizard_ && m_hWnd != nullptr) {
    closeAfterWizard_ = false;
    PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
  }
}

LRESULT CMainWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate() ? 0 : -1;
    case WM_CLOSE:
      // Destroying the window now would take the running wizard's sheet
      // with it while the wizard's run is still on this window's stack.
      if (wizardOpen != 0) {
        closeAfterWizard_ = true;
        if (activeWizard != nullptr) activeWizard->BringToFront();
        return 0;
      }
      break;
    case WM_COMMAND: {
      const WORD command = LOWORD(wParam);
      if (command == ID_CHECK_FOR_UPDATES) {
        OnCheckForUpdates();
        return 0;
      }
      if (Application* application = Application::Current();
          application != nullptr && application->OnCommand(command)) {
        return 0;
      }
      break;
    }
    default:
      if (message == UWM_UPDATES_FOUND && message != 0) {
        OnUpdatesFound();
        return 0;
      }
      if (message == kTrayCallbackMessage && LOWORD(lParam) == NIN_BALLOONUSERCLICK) {
        OnBalloonClicked();
        return 0;
      }
      if (message == RegisterAgainMessage() && message != 0) {
        pipeClient_.RegisterAgain();
        return 0;
      }
      break;
  }
  return Window::HandleMessage(message, wParam, lParam);
}

void CMainWnd::OnFinalMessage() {
  if (ownedByWindow_) delete this;
}

}  // namespace zvu
