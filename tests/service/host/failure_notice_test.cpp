#include "failure_notice.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "event_reporter.h"
#include "wait_until.h"

namespace {

using zvu::EventReporter;
using zvu::FailureNotice;
using zvu::test::WaitUntil;

constexpr char kCaption[] = "ZvuFailureNoticeTest";
constexpr char kText[] = "Could not start service";

bool Visible() { return true; }
bool Invisible() { return false; }

// The text of the box captioned kCaption, read once it is open; the box is
// then closed with its OK button.
std::string AnswerBox() {
  HWND box = nullptr;
  if (!WaitUntil([&] { return (box = FindWindowA(nullptr, kCaption)) != nullptr; })) return {};
  char text[256] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));  // the static control of a message box
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  return text;
}

// The event reporter prints what it reports when told to; what reaches the
// event log itself cannot be read back under Wine (ReportEvent does nothing
// there).
TEST(FailureNoticeTest, InvisibleWindowStationReportsTheTextAsAnEventAndShowsNoBox) {
  EventReporter events(kCaption);
  events.SetPrintToConsole(true);
  const FailureNotice notice(kCaption, events, &Invisible);
  testing::internal::CaptureStdout();
  notice.Tell(kText);  // a box would stop the test here: nothing closes it
  EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(kText) + "\n");
  EXPECT_EQ(FindWindowA(nullptr, kCaption), nullptr);
}

TEST(FailureNoticeTest, VisibleWindowStationShowsTheTextInABoxAndReportsNoEvent) {
  EventReporter events(kCaption);
  events.SetPrintToConsole(true);
  const FailureNotice notice(kCaption, events, &Visible);
  testing::internal::CaptureStdout();
  std::thread teller([&] { notice.Tell(kText); });
  const std::string shown = AnswerBox();
  teller.join();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(shown, kText);
}

// Under Wine the desktop's window station is visible, as WinSta0 is on
// Windows; a window station the process makes itself is not.
TEST(FailureNoticeTest, ProcessWindowStationVisibilityFollowsTheWindowStation) {
  EXPECT_TRUE(zvu::ProcessWindowStationVisible());

  HWINSTA original = GetProcessWindowStation();
  HWINSTA hidden = CreateWindowStationA("ZvuHiddenStation", 0, WINSTA_ALL_ACCESS, nullptr);
  ASSERT_NE(hidden, nullptr) << GetLastError();
  ASSERT_TRUE(SetProcessWindowStation(hidden)) << GetLastError();
  const bool hiddenVisible = zvu::ProcessWindowStationVisible();
  ASSERT_TRUE(SetProcessWindowStation(original)) << GetLastError();
  CloseWindowStation(hidden);
  EXPECT_FALSE(hiddenVisible);
  EXPECT_TRUE(zvu::ProcessWindowStationVisible());
}

}  // namespace
