// Ending and starting the product's update program and looking for a
// management console, with copies of the sleeper stand-in.
#include <gtest/gtest.h>

#include <windows.h>

#include "hooks_test_support.h"

namespace zvu::test::hooks {
namespace {

// A copy of the sleeper under another name, started and waited for.
class Sleeper {
 public:
  Sleeper(const std::wstring& folderName, const std::wstring& fileName) {
    path_ = FreshFolder(folderName) + fileName;
    if (!CopyTo(SleeperExe(), path_)) return;
    process_ = StartProgram(path_);
    WaitUntil([&] { return FileExists(path_ + L".ran"); }, 10000);
  }
  ~Sleeper() {
    if (!process_) return;
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
    CloseHandle(process_);
  }
  Sleeper(const Sleeper&) = delete;
  Sleeper& operator=(const Sleeper&) = delete;

  bool started() const { return process_ && FileExists(path_ + L".ran"); }
  bool EndsWithin(DWORD ms) const { return WaitForSingleObject(process_, ms) == WAIT_OBJECT_0; }
  DWORD ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
  }

 private:
  std::wstring path_;
  HANDLE process_ = nullptr;
};

class ProcessActionTest : public ::testing::Test {
 protected:
  void TearDown() override { QuitSleepers(); }
  HooksLibrary library_;
};

TEST_F(ProcessActionTest, KillEndsOneCopyPerCallAndOnlyTheExactName) {
  Sleeper first(L"zvu-hooks-updater-1", L"VuroUpdateIISQuillet.exe");
  Sleeper second(L"zvu-hooks-updater-2", L"VuroUpdateIISQuillet.exe");
  Sleeper otherCase(L"zvu-hooks-updater-3", L"vuroupdateIISQuillet.exe");
  ASSERT_TRUE(first.started() && second.started() && otherCase.started());

  const size_t logStart = LogSize();
  EXPECT_EQ(library_.Session("KillVuroUpdate", 0), 0u);
  // The action returns after its TerminateProcess, and Wine ends a process
  // before TerminateProcess returns: a copy that still runs now was spared.
  EXPECT_TRUE(WaitUntil([&] { return first.EndsWithin(0) || second.EndsWithin(0); }, 5000));
  EXPECT_NE(first.EndsWithin(0), second.EndsWithin(0)) << "exactly one copy ends";
  EXPECT_FALSE(otherCase.EndsWithin(0));
  EXPECT_EQ(LogMessagesFrom(logStart), std::vector<std::string>{"KillVuroUpdate\n"});

  EXPECT_EQ(library_.Session("KillVuroUpdate", 0), 0u);
  EXPECT_TRUE(first.EndsWithin(5000));
  EXPECT_TRUE(second.EndsWithin(5000));
  EXPECT_EQ(first.ExitCode(), 0u);
  EXPECT_EQ(second.ExitCode(), 0u);

  EXPECT_EQ(library_.Session("KillVuroUpdate", 0), 0u);
  EXPECT_FALSE(otherCase.EndsWithin(0));
}

TEST_F(ProcessActionTest, CheckMMCFindsAConsoleInAnyLetterCase) {
  const size_t logStart = LogSize();
  EXPECT_EQ(library_.Session("CheckMMC", 0), 0u);
  EXPECT_EQ(LogMessagesFrom(logStart), std::vector<std::string>{"CheckMMC\n"});
  {
    Sleeper console(L"zvu-hooks-mmc-upper", L"MMC.EXE");
    ASSERT_TRUE(console.started());
    EXPECT_EQ(library_.Session("CheckMMC", 0), 1u);
  }
  EXPECT_EQ(library_.Session("CheckMMC", 0), 0u);
  {
    Sleeper console(L"zvu-hooks-mmc-lower", L"mmc.exe");
    ASSERT_TRUE(console.started());
    EXPECT_EQ(library_.Session("CheckMMC", 0), 1u);
  }
  {
    Sleeper notAConsole(L"zvu-hooks-mmc-other", L"mmc.exe.exe");
    EXPECT_EQ(library_.Session("CheckMMC", 0), 0u);
  }
}

TEST_F(ProcessActionTest, StartRunsTheProgramFromTheTargetDirectoryWithoutWaiting) {
  TestSession session;
  const std::wstring target = FreshFolder(L"zvu-hooks-target");
  const std::wstring program = target + L"VuroUpdateIISQuillet.exe";
  ASSERT_TRUE(CopyTo(SleeperExe(), program));
  session.SetProperty(L"TARGETDIR", target);

  const size_t logStart = LogSize();
  const ULONGLONG started = GetTickCount64();
  EXPECT_EQ(library_.Session("StartVuroUpdate", session.get()), 0u);
  EXPECT_LT(GetTickCount64() - started, 5000u);
  EXPECT_TRUE(WaitUntil([&] { return FileExists(program + L".ran"); }, 10000));
  EXPECT_EQ(ProcessesNamed(L"VuroUpdateIISQuillet.exe").size(), 1u);
  std::string commandLine = "\"";
  commandLine += Narrow(program);
  commandLine += "\"\n";
  EXPECT_EQ(LogMessagesFrom(logStart),
            (std::vector<std::string>{"StartVuroUpdate\n", commandLine}));
  EXPECT_EQ(session.ActionTexts(), std::vector<std::wstring>{L"Starting Vuro Update."});

  // The update program ends before its files change.
  EXPECT_EQ(library_.Session("KillVuroUpdate", 0), 0u);
  EXPECT_TRUE(WaitUntil([] { return ProcessesNamed(L"VuroUpdateIISQuillet.exe").empty(); }, 5000));
}

TEST_F(ProcessActionTest, StartWithoutTheProgramFailsAndLogsTheError) {
  TestSession session;
  const std::wstring target = FreshFolder(L"zvu-hooks-empty-target");
  session.SetProperty(L"TARGETDIR", target);
  const size_t logStart = LogSize();
  EXPECT_EQ(library_.Session("StartVuroUpdate", session.get()), 1603u);
  const std::vector<std::string> messages = LogMessagesFrom(logStart);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[2], "command failed\t last error 2\n");
}

}  // namespace
}  // namespace zvu::test::hooks
