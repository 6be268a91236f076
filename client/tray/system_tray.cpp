#include "system_tray.h"

#include <algorithm>
#include <cstring>

#include "application.h"

namespace zvu {
namespace {

constexpr char kTrayWindowClass[] = "ZelkoVuroUpdate_TrayIconWindow";

// The layout with balloon fields (no GUID, no balloon icon handle).
constexpr DWORD kNotifyDataSize = NOTIFYICONDATAA_V2_SIZE;

UINT TaskbarCreatedMessage() {
  static const UINT message = RegisterWindowMessageA("TaskbarCreated");
  return message;
}

// Copies text (null counts as empty) into a fixed field, cut to fit and
// always terminated.
template <size_t N>
void CopyField(char (&field)[N], const char* text, size_t maxLength = N - 1) {
  const size_t length = text != nullptr ? std::min(std::strlen(text), std::min(maxLength, N - 1)) : 0;
  if (length != 0) std::memcpy(field, text, length);
  field[length] = '\0';
}

bool IsBalloonCapable() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&version)) return false;
#pragma GCC diagnostic pop
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion > 4;
}

}  // namespace

CSystemTray::CSystemTray() : balloonCapable_(IsBalloonCapable()) {
  notifyData_.cbSize = kNotifyDataSize;
}

CSystemTray::~CSystemTray() {
  RemoveIcon();
  if (m_hWnd != nullptr) DestroyWindow(m_hWnd);
}

bool CSystemTray::Create(HWND parent, UINT callbackMessage, const char* tooltip, HICON icon,
                         UINT id, bool hidden, const char* balloonText, const char* balloonTitle,
                         DWORD balloonIconFlags, UINT balloonTimeoutSeconds) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (LOBYTE(LOWORD(GetVersion())) < 4) {
#pragma GCC diagnostic pop
    enabled_ = false;
    return false;
  }
  enabled_ = true;

  if (m_hWnd == nullptr) {
    WNDCLASSEXA wc{};
    wc.lpszClassName = kTrayWindowClass;
    if (!RegisterWindowClass(wc) ||
        !Window::Create(0, kTrayWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr)) {
      return false;
    }
  }

  notifyData_ = {};
  notifyData_.cbSize = kNotifyDataSize;
  notifyData_.hWnd = (parent != nullptr && IsWindow(parent)) ? parent : m_hWnd;
  notifyData_.uID = id;
  notifyData_.hIcon = icon;
  notifyData_.uCallbackMessage = callbackMessage;
  notifyData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  CopyField(notifyData_.szTip, tooltip, kMaxTooltipLength - 1);

  if (balloonCapable_ && balloonText != nullptr) {
    notifyData_.uFlags |= NIF_INFO;
    CopyField(notifyData_.szInfo, balloonText);
    CopyField(notifyData_.szInfoTitle, balloonTitle);
    notifyData_.uTimeout = balloonTimeoutSeconds * 1000;
    notifyData_.dwInfoFlags = balloonIconFlags;
  }
  if (balloonCapable_ && hidden) {
    notifyData_.uFlags = NIF_STATE;
    notifyData_.dwState = NIS_HIDDEN;
    notifyData_.dwStateMask = NIS_HIDDEN;
  }
  creationFlags_ = notifyData_.uFlags;
  hidden_ = hidden;

  bool added = false;
  if (!hidden || balloonCapable_) {
    added = Shell_NotifyIconA(NIM_ADD, &notifyData_) != FALSE;
    hidden_ = removed_ = showPending_ = !added;
  }
  notifyData_.szInfo[0] = '\0';
  return added;
}

bool CSystemTray::ShowBalloon(const char* text, const char* title, DWORD iconFlags,
                              UINT timeoutSeconds) {
  if (!balloonCapable_) return false;
  notifyData_.uFlags = NIF_INFO;
  CopyField(notifyData_.szInfo, text);
  CopyField(notifyData_.szInfoTitle, title);
  notifyData_.dwInfoFlags = iconFlags;
  notifyData_.uTimeout = timeoutSeconds * 1000;
  const bool shown = Shell_NotifyIconA(NIM_MODIFY, &notifyData_) != FALSE;
  notifyData_.szInfo[0] = '\0';
  return shown;
}

UniqueMenu CSystemTray::LoadTrayMenu(HMENU* popup) const {
  *popup = nullptr;
  UniqueMenu menu(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(notifyData_.uID)));
  if (!menu) return menu;
  *popup = GetSubMenu(menu.get(), 0);
  if (*popup != nullptr) ::SetMenuDefaultItem(*popup, defaultItem_, defaultByPosition_);
  return menu;
}

// The menu is loaded afresh for each use, which marks the item then.
bool CSystemTray::SetMenuDefaultItem(UINT item, bool byPosition) {
  defaultItem_ = item;
  defaultByPosition_ = byPosition;
  return true;
}

UINT CSystemTray::DefaultCommand() const {
  if (!defaultByPosition_) return defaultItem_;
  HMENU popup = nullptr;
  const UniqueMenu menu = LoadTrayMenu(&popup);
  if (!menu) return 0;
  const UINT command = popup != nullptr ? GetMenuItemID(popup, static_cast<int>(defaultItem_)) : 0;
  return command == static_cast<UINT>(-1) ? 0 : command;
}

bool CSystemTray::RemoveIcon() {
  showPending_ = false;
  if (!enabled_ || removed_) return true;
  NOTIFYICONDATAA remove = notifyData_;
  remove.uFlags = 0;
  if (Shell_NotifyIconA(NIM_DELETE, &remove)) {
    hidden_ = true;
    removed_ = true;
  }
  return removed_;
}

HWND CSystemTray::Receiver() const {
  if (targetWindow_ != nullptr) return targetWindow_;
  return Application::MainWindow();
}

LRESULT CSystemTray::OnTrayNotification(WPARAM wParam, LPARAM lParam) {
  if (wParam != notifyData_.uID) return 0;
  HWND receiver = Receiver();
  if (receiver == nullptr) return 0;

  switch (LOWORD(lParam)) {
    case WM_RBUTTONUP: {
      HMENU popup = nullptr;
      const UniqueMenu menu = LoadTrayMenu(&popup);
      if (!menu) return 1;
      if (popup != nullptr) {
        POINT cursor{};
        GetCursorPos(&cursor);
        SetForegroundWindow(receiver);
        TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0, receiver,
                       nullptr);
        // Lets the menu close properly when the user clicks elsewhere.
        PostMessageA(receiver, WM_NULL, 0, 0);
      }
      return 1;
    }
    case WM_LBUTTONDBLCLK: {
      SetForegroundWindow(receiver);
      const UINT command = DefaultCommand();
      if (command != 0) PostMessageA(receiver, WM_COMMAND, command, 0);
      return 1;
    }
    case NIN_BALLOONUSERCLICK:
      // Handed on at once, while the click still lets this program take the
      // foreground.
      SendMessageA(receiver, notifyData_.uCallbackMessage, wParam, NIN_BALLOONUSERCLICK);
      return 1;
    default:
      return 1;
  }
}

void CSystemTray::OnTaskbarCreated() {
  showPending_ = true;
  if (hidden_) return;
  NOTIFYICONDATAA add = notifyData_;
  add.uFlags = creationFlags_ & ~static_cast<UINT>(NIF_INFO);
  const bool added = Shell_NotifyIconA(NIM_ADD, &add) != FALSE;
  hidden_ = showPending_ = !added;
  if (added) removed_ = false;
}

LRESULT CSystemTray::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == notifyData_.uCallbackMessage && message != 0) {
    return OnTrayNotification(wParam, lParam);
  }
  if (message == TaskbarCreatedMessage()) {
    OnTaskbarCreated();
    return 0;
  }
  return Window::HandleMessage(message, wParam, lParam);
}

}  // namespace zvu
