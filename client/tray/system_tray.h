#pragma once

#include <windows.h>
#include <shellapi.h>

#include "unique_handle.h"
#include "window.h"

namespace zvu {

// The program's icon in the notification area. An invisible pop-up window of
// its own receives the shell's callback messages: a right click opens the
// first pop-up of the menu whose resource number is the icon's id, a double
// click runs that menu's default item, and both send their command to the
// receiver (the target window, else the application's main window). A click
// on the icon's balloon is sent on to the receiver as the icon's callback
// message, with the icon's id and NIN_BALLOONUSERCLICK. (The shell puts the
// notification in lParam, or in its low word once an icon has asked for
// NOTIFYICON_VERSION_4; this icon asks for no version, and the low word
// serves both.) When
// the shell recreates its taskbar ("TaskbarCreated") the icon is added again.
// The icon is removed when the object is destroyed. GUI thread only.
class CSystemTray : public Window {
 public:
  CSystemTray();
  ~CSystemTray() override;

  // Adds the icon. parent may be null (the icon's own window then owns the
  // icon); balloonText and balloonTitle may be null. True when the shell
  // took the icon.
  bool Create(HWND parent, UINT callbackMessage, const char* tooltip, HICON icon, UINT id,
              bool hidden, const char* balloonText, const char* balloonTitle,
              DWORD balloonIconFlags, UINT balloonTimeoutSeconds);

  // Shows a balloon over the icon; false when the platform has no balloons
  // or the shell refused.
  bool ShowBalloon(const char* text, const char* title, DWORD iconFlags, UINT timeoutSeconds);

  // The menu item that a double click runs and that is drawn bold: a command
  // id, or a position in the pop-up when byPosition is set.
  bool SetMenuDefaultItem(UINT item, bool byPosition);

  // The command a double click sends: the default item when it is a command,
  // else the command of the item at the default position (0 when none).
  UINT DefaultCommand() const;

  // Deletes the icon from the notification area; true when it is gone.
  bool RemoveIcon();

  bool Enabled() const { return enabled_; }
  bool Hidden() const { return hidden_; }
  bool Removed() const { return removed_; }
  bool BalloonCapable() const { return balloonCapable_; }
  const NOTIFYICONDATAA& NotifyData() const { return notifyData_; }

  static constexpr UINT kMaxTooltipLength = 128;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  LRESULT OnTrayNotification(WPARAM wParam, LPARAM lParam);
  void OnTaskbarCreated();
  HWND Receiver() const;
  // Loads the menu, marks the default item in its first pop-up and returns
  // the menu and the pop-up.
  UniqueMenu LoadTrayMenu(HMENU* popup) const;

  NOTIFYICONDATAA notifyData_{};
  bool enabled_ = false;
  bool hidden_ = true;
  bool removed_ = true;
  bool showPending_ = false;
  bool balloonCapable_ = false;
  HWND targetWindow_ = nullptr;
  UINT defaultItem_ = 0;
  bool defaultByPosition_ = true;
  UINT creationFlags_ = 0;
};

}  // namespace zvu
