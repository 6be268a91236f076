// Stopping and starting the web server through net.exe, against the W3SVC
// stand-in service installed for the length of this program.
#include <gtest/gtest.h>

#include <windows.h>

#include "hooks_test_support.h"
#include "net_command_wait.h"
#include "setup_log.h"

namespace zvu::test::hooks {
namespace {

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder) + L"\\";
}

class WebServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(InstallW3svcStandIn()); }
  static void TearDownTestSuite() { RemoveW3svcStandIn(); }
  void SetUp() override {
    SetDelays(0, 0);
    ASSERT_TRUE(session_.get());
    session_.SetProperty(L"SystemFolder", SystemFolder());
  }
  void TearDown() override { SetDelays(0, 0); }

  HooksLibrary library_;
  TestSession session_;
};

std::string NetCommandEntry(const char* verb) {
  std::string entry = "\"";
  entry += Narrow(SystemFolder());
  entry += "\\net.exe\" ";
  entry += verb;
  entry += " w3svc\n";
  return entry;
}

TEST_F(WebServerTest, StopAndStartRunNetForTheService) {
  ASSERT_TRUE(StartW3svcDirectly());
  size_t logStart = LogSize();
  EXPECT_EQ(library_.Session("StopW3SVC", session_.get()), 0u);
  EXPECT_EQ(W3svcState(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(LogMessagesFrom(logStart),
            (std::vector<std::string>{NetCommandEntry("stop"), "net.exe exit code 0\n"}));

  logStart = LogSize();
  EXPECT_EQ(library_.Session("StartW3SVC", session_.get()), 0u);
  EXPECT_TRUE(ReachState(SERVICE_RUNNING, 5000));
  EXPECT_EQ(LogMessagesFrom(logStart),
            (std::vector<std::string>{NetCommandEntry("start"), "net.exe exit code 0\n"}));

  EXPECT_EQ(session_.ActionTexts(), (std::vector<std::wstring>{L"Stopping IIS, please wait...",
                                                               L"Starting IIS, please wait..."}));
  for (const EngineMessage& progress : session_.Progress()) {
    EXPECT_EQ(progress.fields, (std::vector<std::wstring>{L"1", L"1", L"0"}));
  }
  // net reports an error for a service already running, which is still done.
  EXPECT_EQ(library_.Session("StartW3SVC", session_.get()), 0u);
  StopW3svcDirectly();
}

TEST_F(WebServerTest, CancelDuringTheWaitReturnsAtOnceWhileTheStopGoesOn) {
  ASSERT_TRUE(StartW3svcDirectly());
  SetDelays(0, 4000);
  session_.CancelProgress(true);
  const ULONGLONG started = GetTickCount64();
  EXPECT_EQ(library_.Session("StopW3SVC", session_.get()), 1602u);
  const ULONGLONG elapsed = GetTickCount64() - started;
  EXPECT_GE(elapsed, 450u);
  EXPECT_LE(elapsed, 1200u);
  EXPECT_EQ(session_.Progress().size(), 1u);
  EXPECT_NE(W3svcState(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_TRUE(ReachState(SERVICE_STOPPED));
}

TEST_F(WebServerTest, StartWithProgressFillsTheBarInFiftyNineStepsForAFastStart) {
  StopW3svcDirectly();
  EXPECT_EQ(library_.Session("StartW3Progress", session_.get()), 0u);
  EXPECT_TRUE(ReachState(SERVICE_RUNNING, 5000));
  const std::vector<EngineMessage> progress = session_.Progress();
  ASSERT_EQ(progress.size(), 60u);
  EXPECT_EQ(progress[0].fields, (std::vector<std::wstring>{L"0", L"60", L"0"}));
  for (size_t i = 1; i < progress.size(); ++i) {
    EXPECT_EQ(progress[i].fields, (std::vector<std::wstring>{L"2", L"2", L"0"})) << i;
  }
  EXPECT_EQ(session_.ActionTexts(), std::vector<std::wstring>{L"Starting IIS, please wait..."});
  StopW3svcDirectly();
}

TEST_F(WebServerTest, StartWithProgressForASlowStartStepsWhileWaiting) {
  StopW3svcDirectly();
  SetDelays(2500, 0);
  const ULONGLONG started = GetTickCount64();
  EXPECT_EQ(library_.Session("StartW3Progress", session_.get()), 0u);
  EXPECT_GE(GetTickCount64() - started, 2500u);
  EXPECT_EQ(W3svcState(), static_cast<DWORD>(SERVICE_RUNNING));
  // Steps while waiting (every 0.8 s) plus the rest of 59 minus the ticks
  // reached: fewer records than for a fast start.
  const size_t steps = session_.Progress().size() - 1;
  EXPECT_LT(steps, 59u);
  EXPECT_GE(steps, 52u);
  SetDelays(0, 0);
  StopW3svcDirectly();
}

TEST_F(WebServerTest, NetThatCannotBeStartedFailsTheAction) {
  const std::wstring folder = FreshFolder(L"zvu-hooks-no-net");
  session_.SetProperty(L"SystemFolder", folder);
  const size_t logStart = LogSize();
  EXPECT_EQ(library_.Session("StopW3SVC", session_.get()), 1603u);
  EXPECT_EQ(library_.Session("StartW3Progress", session_.get()), 1603u);
  const std::vector<std::string> messages = LogMessagesFrom(logStart);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[1].rfind("command failed\t last error ", 0), 0u) << messages[1];
  EXPECT_EQ(messages[3].rfind("command failed\t last error ", 0), 0u) << messages[3];
  EXPECT_TRUE(session_.Progress().empty());
}

TEST_F(WebServerTest, NetAskingAQuestionReadsTheEndOfItsInputAndItsExitCodeIsLogged) {
  const std::wstring folder = FreshFolder(L"zvu-hooks-asking-net");
  ASSERT_TRUE(CopyTo(QuestionStandInExe(), folder + L"net.exe"));
  session_.SetProperty(L"SystemFolder", folder);
  const size_t logStart = LogSize();
  EXPECT_EQ(library_.Session("StopW3SVC", session_.get()), 0u);
  std::string command = "\"";
  command += Narrow(folder);
  command += "\\net.exe\" stop w3svc\n";
  // 2: the question read the end of the input, as from the null device.
  EXPECT_EQ(LogMessagesFrom(logStart),
            (std::vector<std::string>{command, "net.exe exit code 2\n"}));
}

TEST_F(WebServerTest, StartWithProgressStopsWaitingAtItsBoundAndLogsSo) {
  HANDLE net = StartProgram(SleeperExe());
  ASSERT_TRUE(net);
  ::zvu::hooks::OpenLibraryLog();
  const size_t logStart = LogSize();
  const ULONGLONG started = GetTickCount64();
  ::zvu::hooks::WaitWithStartProgress(session_.get(), net, 2000);
  const ULONGLONG elapsed = GetTickCount64() - started;
  ::zvu::hooks::CloseLibraryLog();
  // The bound is the point: well past it would be a wait without one.
  EXPECT_GE(elapsed, 2000u);
  EXPECT_LT(elapsed, 30000u);
  EXPECT_EQ(WaitForSingleObject(net, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // left running
  EXPECT_EQ(LogMessagesFrom(logStart),
            std::vector<std::string>{"net.exe still running after 2 seconds, going on without it\n"});
  // The bar was reset, stepped while waiting and filled.
  const std::vector<EngineMessage> progress = session_.Progress();
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress[0].fields, (std::vector<std::wstring>{L"0", L"60", L"0"}));
  EXPECT_GE(progress.size(), 2u);
  QuitSleepers();
  CloseHandle(net);
}

}  // namespace
}  // namespace zvu::test::hooks
