#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "child_process.h"
#include "main_wnd.h"
#include "single_instance.h"
#include "temp_files.h"

namespace {

using zvu::test::LinesStartingWith;
using zvu::test::WaitUntil;

const bool g_childrenOffTheOutput = zvu::test::KeepChildrenOffTheOutput();

// A second start finds the running main window and asks it to register
// again; the window does so with the service control manager's own answer.
// No update service is installed here, so a pipe served by the scripted
// service (a process that took the pipe's name) is refused, and the log says
// so: the request reached the window and went through the real checks.
TEST(RegisterAgainTest, SecondStartMakesTheRunningWindowRegisterAgain) {
  zvu::test::EnsureShellRunning();
  ASSERT_TRUE(zvu::CMainWnd::RegisterMainWindowClass());
  zvu::CMainWnd main;  // registers at creation: no pipe is served yet
  ASSERT_TRUE(main.CreateFrame());
  EXPECT_EQ(main.Pipe().Registrations(), 0u);

  const std::string record = zvu::test::TempFilePath("zvu_register_again_squatter.txt");
  zvu::test::ChildProcess squatter;
  ASSERT_TRUE(squatter.Start(zvu::test::Quote(zvu::test::ExeDir() + "zvu_scripted_service.exe") +
                             " --record " + zvu::test::Quote(record)));
  ASSERT_TRUE(WaitUntil([&] { return !LinesStartingWith(record, "ready").empty(); }, 10000));

  // What a second ZelkoVuroUpdateGui.exe does before it ends.
  ASSERT_TRUE(zvu::ActivateRunningInstance(zvu::CMainWnd::kClassName));
  EXPECT_TRUE(zvu::test::DispatchPostedMessages());
  ASSERT_TRUE(WaitUntil([&] { return !LinesStartingWith(record, "registration-failed ").empty(); },
                        10000)) << zvu::test::ReadWholeFile(record);
  EXPECT_TRUE(LinesStartingWith(record, "registered ").empty());
  EXPECT_EQ(main.Pipe().Registrations(), 0u);
  char refused[160];
  std::snprintf(refused, sizeof(refused),
                "Registration refused: pipe server PID: %lu greeting PID: 0 service PID: 0 \r\n",
                static_cast<unsigned long>(squatter.Id()));
  EXPECT_NE(zvu::test::ReadWholeFile("c:\\VurUpdateGui.log").find(refused), std::string::npos);
}

}  // namespace
