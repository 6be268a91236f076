#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "client_app.h"
#include "main_wnd.h"
#include "registered_messages.h"
#include "resource_ids.h"

namespace {

using zvu::test::WaitUntil;

const bool g_childrenOffTheOutput = zvu::test::KeepChildrenOffTheOutput();

// The application of these tests records the commands it is given.
class RecordingApp : public zvu::ClientApp {
 public:
  bool OnCommand(WORD command) override {
    commands.push_back(command);
    return command == ID_APP_ABOUT || command == ID_APP_EXIT;
  }
  std::vector<WORD> commands;
};

class CountingMainWnd : public zvu::CMainWnd {
 public:
  int checks = 0;
  int balloons = 0;

 protected:
  void OnCheckForUpdates() override { ++checks; }
  void OnUpdatesFound() override {
    ++balloons;
    CMainWnd::OnUpdatesFound();
  }
};

class TrayRoutingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { zvu::test::EnsureShellRunning(); }
  void SetUp() override {
    ASSERT_TRUE(zvu::CMainWnd::RegisterMainWindowClass());
    ASSERT_TRUE(main_.CreateFrame());
    zvu::Application::SetMainWindow(main_.Handle());
  }
  void TearDown() override { zvu::Application::SetMainWindow(nullptr); }

  LRESULT TrayCallback(WPARAM id, UINT mouseMessage) {
    return SendMessageA(main_.Tray().Handle(), zvu::CMainWnd::kTrayCallbackMessage, id, mouseMessage);
  }

  // Opens the tray menu with a right click and chooses the item at position
  // with the keyboard, as a user would.
  void ChooseFromMenu(int position) {
    std::atomic<bool> chosen{false};
    HANDLE chooser = CreateThread(
        nullptr, 0,
        [](void* parameter) -> DWORD {
          auto* args = static_cast<std::pair<int, std::atomic<bool>*>*>(parameter);
          HWND menu = nullptr;
          WaitUntil([&] { return (menu = FindWindowA("#32768", nullptr)) != nullptr &&
                                 IsWindowVisible(menu); }, 5000);
          if (menu == nullptr) return 1;
          for (int i = 0; i <= args->first; ++i) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
          PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
          args->second->store(true);
          return 0;
        },
        new std::pair<int, std::atomic<bool>*>(position, &chosen), 0, nullptr);
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(TrayCallback(IDR_SYSTRAY_MENU, WM_RBUTTONUP), 1);
    WaitForSingleObject(chooser, 5000);
    CloseHandle(chooser);
    EXPECT_TRUE(chosen.load());
    EXPECT_TRUE(zvu::test::DispatchPostedMessages());
  }

  RecordingApp app_;
  CountingMainWnd main_;
};

TEST_F(TrayRoutingTest, IconIsShownWithItsTooltipAndBoldDefaultItem) {
  const zvu::CSystemTray& tray = main_.Tray();
  EXPECT_TRUE(tray.Enabled());
  EXPECT_FALSE(tray.Hidden());
  EXPECT_FALSE(tray.Removed());
  EXPECT_STREQ(tray.NotifyData().szTip, "Zelko Vuro Update");
  EXPECT_EQ(tray.NotifyData().uID, static_cast<UINT>(IDR_SYSTRAY_MENU));
  EXPECT_EQ(tray.DefaultCommand(), static_cast<UINT>(ID_CHECK_FOR_UPDATES));
}

TEST_F(TrayRoutingTest, DoubleClickRunsCheckForUpdatesOnTheMainWindow) {
  EXPECT_EQ(TrayCallback(IDR_SYSTRAY_MENU, WM_LBUTTONDBLCLK), 1);
  EXPECT_TRUE(WaitUntil([&] { return main_.checks > 0; }, 5000));
  EXPECT_EQ(main_.checks, 1);
  // Another icon's id, or a plain mouse move, does nothing.
  EXPECT_EQ(TrayCallback(IDR_SYSTRAY_MENU + 1, WM_LBUTTONDBLCLK), 0);
  EXPECT_EQ(TrayCallback(IDR_SYSTRAY_MENU, WM_MOUSEMOVE), 1);
  EXPECT_TRUE(zvu::test::DispatchPostedMessages());
  EXPECT_EQ(main_.checks, 1);
  EXPECT_TRUE(app_.commands.empty());
}

TEST_F(TrayRoutingTest, MenuItemsReachTheMainWindowAndTheApplication) {
  ChooseFromMenu(0);
  EXPECT_EQ(main_.checks, 1);
  ChooseFromMenu(1);
  ChooseFromMenu(2);
  EXPECT_EQ(app_.commands, (std::vector<WORD>{ID_APP_ABOUT, ID_APP_EXIT}));
  EXPECT_EQ(main_.checks, 1);
}

// The visible wizard sheet among the top-level windows of a thread, or null.
HWND FindWizardSheet(DWORD threadId) {
  HWND found = nullptr;
  EnumThreadWindows(
      threadId,
      [](HWND window, LPARAM result) -> BOOL {
        char className[16] = {};
        GetClassNameA(window, className, sizeof(className));
        if (std::string(className) != "#32770" || !IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

TEST_F(TrayRoutingTest, AnnouncedCatalogueShowsTheBalloonThenTheWizard) {
  // As the pipe reader does: a synchronous send from another thread, which
  // waits while the wizard runs. The text received is empty, so the wizard
  // opens on its error page; a third thread reads it and closes it.
  const DWORD guiThread = GetCurrentThreadId();
  HWND mainWindow = main_.Handle();
  std::atomic<bool> sent{false};
  std::thread reader([&] {
    SendMessageA(mainWindow, zvu::UWM_UPDATES_FOUND, 0, 0);
    sent = true;
  });
  std::string headline;
  bool wasOpen = false;
  std::thread closer([&] {
    HWND sheet = nullptr;
    if (!WaitUntil([&] { return (sheet = FindWizardSheet(guiThread)) != nullptr; }, 15000)) return;
    wasOpen = main_.WizardOpen();
    HWND page = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    char text[128] = {};
    GetWindowTextA(GetDlgItem(page, 1027), text, sizeof(text));
    headline = text;
    SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);  // Close on the error page
    PostMessageA(sheet, WM_NULL, 0, 0);
  });
  const bool returned = WaitUntil([&] { return sent.load(); }, 30000);
  closer.join();
  if (!returned) {
    // Leave nothing blocked behind.
    if (HWND sheet = FindWizardSheet(guiThread)) DestroyWindow(sheet);
  }
  reader.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(main_.balloons, 1);
  EXPECT_TRUE(wasOpen);
  EXPECT_EQ(headline, "VuroUpdate could not retrive the update list");
  EXPECT_FALSE(main_.WizardOpen());
}

int CountWizardSheets(DWORD threadId) {
  int count = 0;
  EnumThreadWindows(
      threadId,
      [](HWND window, LPARAM result) -> BOOL {
        char className[16] = {};
        GetClassNameA(window, className, sizeof(className));
        if (std::string(className) == "#32770" && IsWindowVisible(window)) ++*reinterpret_cast<int*>(result);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

// Another program's window in front: made and kept by the thread that
// calls this, which must wait with WaitUntil (it dispatches) meanwhile.
// Wine hands the focus over through the X server; a window activated just
// before can still take it back when its own focus event arrives late, so
// the request stands until the window is in front.
bool PutInFront(HWND other) {
  return WaitUntil(
      [&] {
        if (GetForegroundWindow() != other) SetForegroundWindow(other);
        return GetForegroundWindow() == other;
      },
      10000);
}

// A running wizard is brought forward, never doubled: by "Check for Updates"
// from the menu, by a click on the balloon, and by a double click on the
// icon, also from the taskbar where it was minimised (it has a button there).
TEST(WizardInFront, CheckForUpdatesBalloonAndDoubleClickBringTheOneWizardForward) {
  zvu::test::EnsureShellRunning();
  zvu::ClientApp app;
  ASSERT_TRUE(zvu::CMainWnd::RegisterMainWindowClass());
  zvu::CMainWnd main;
  ASSERT_TRUE(main.CreateFrame());
  zvu::Application::SetMainWindow(main.Handle());
  const DWORD guiThread = GetCurrentThreadId();
  HWND mainWindow = main.Handle();
  HWND trayWindow = main.Tray().Handle();

  struct Seen {
    bool opened = false;
    bool appWindow = false;
    bool frontAfterCheck = false;
    int sheetsAfterCheck = 0;
    bool otherInFront[3] = {};
    bool frontAfterBalloon = false;
    bool minimised = false;
    bool frontAfterDoubleClick = false;
    bool restored = false;
    int sheetsAtEnd = 0;
  } seen;
  std::thread user([&] {
    HWND sheet = nullptr;
    seen.opened = WaitUntil([&] { return (sheet = FindWizardSheet(guiThread)) != nullptr; }, 20000);
    if (!seen.opened) return;
    seen.appWindow = (GetWindowLongPtrA(sheet, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0;
    HWND other = CreateWindowExA(0, "STATIC", "zvu another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 50, 50, 500, 400, nullptr, nullptr, nullptr, nullptr);
    const auto inFront = [&] { return GetForegroundWindow() == sheet; };

    seen.otherInFront[0] = PutInFront(other);
    PostMessageA(mainWindow, WM_COMMAND, ID_CHECK_FOR_UPDATES, 0);
    seen.frontAfterCheck = WaitUntil(inFront, 10000);
    // The command has been handled once the sheet is in front; had it made
    // a second wizard, that one would be there by now.
    seen.sheetsAfterCheck = CountWizardSheets(guiThread);

    seen.otherInFront[1] = PutInFront(other);
    SendMessageA(trayWindow, zvu::CMainWnd::kTrayCallbackMessage, IDR_SYSTRAY_MENU, NIN_BALLOONUSERCLICK);
    seen.frontAfterBalloon = WaitUntil(inFront, 10000);

    seen.otherInFront[2] = PutInFront(other);
    ShowWindow(sheet, SW_MINIMIZE);
    seen.minimised = WaitUntil([&] { return IsIconic(sheet) != FALSE; }, 10000);
    SendMessageA(trayWindow, zvu::CMainWnd::kTrayCallbackMessage, IDR_SYSTRAY_MENU, WM_LBUTTONDBLCLK);
    seen.frontAfterDoubleClick = WaitUntil(inFront, 10000);
    seen.restored = !IsIconic(sheet);
    seen.sheetsAtEnd = CountWizardSheets(guiThread);

    DestroyWindow(other);
    // Cancel on the welcome page shows the error page; Close there ends the run.
    SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    PostMessageA(sheet, WM_NULL, 0, 0);
  });
  // "Check for Updates": the wizard runs here until the user's thread closes it.
  SendMessageA(mainWindow, WM_COMMAND, ID_CHECK_FOR_UPDATES, 0);
  user.join();
  zvu::Application::SetMainWindow(nullptr);

  ASSERT_TRUE(seen.opened);
  EXPECT_TRUE(seen.appWindow) << "the wizard has a taskbar button";
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(seen.otherInFront[i]) << "another window not in front, time " << i;
  EXPECT_TRUE(seen.frontAfterCheck);
  EXPECT_EQ(seen.sheetsAfterCheck, 1);
  EXPECT_TRUE(seen.frontAfterBalloon);
  EXPECT_TRUE(seen.minimised);
  EXPECT_TRUE(seen.frontAfterDoubleClick);
  EXPECT_TRUE(seen.restored);
  EXPECT_EQ(seen.sheetsAtEnd, 1);
  EXPECT_FALSE(main.WizardOpen());
}

TEST_F(TrayRoutingTest, ABalloonClickWithNoWizardOpenDoesNothing) {
  EXPECT_EQ(TrayCallback(IDR_SYSTRAY_MENU, NIN_BALLOONUSERCLICK), 1);
  EXPECT_TRUE(zvu::test::DispatchPostedMessages());
  EXPECT_EQ(main_.checks, 0);
  EXPECT_FALSE(main_.WizardOpen());
  EXPECT_EQ(CountWizardSheets(GetCurrentThreadId()), 0);
}

TEST(ClientAppExit, ExitClosesTheMainWindowAndRemovesTheIcon) {
  zvu::test::EnsureShellRunning();
  zvu::ClientApp app;
  auto* main = zvu::CMainWnd::CreateOwnedByWindow();
  ASSERT_NE(main, nullptr);
  HWND window = main->Handle();
  zvu::Application::SetMainWindow(window);
  HWND trayWindow = main->Tray().Handle();
  EXPECT_TRUE(app.OnCommand(ID_APP_EXIT));
  // The window deleted its object; the icon's window went with it.
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(IsWindow(trayWindow));
  EXPECT_EQ(zvu::Application::MainWindow(), nullptr);
  MSG quit;
  EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

}  // namespace
