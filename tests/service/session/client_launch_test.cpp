#include "client_launcher.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "child_process.h"
#include "client_pipe_server.h"
#include "log_capture.h"

namespace {

using zvu::test::LinesStartingWith;
using zvu::test::WaitUntil;

DWORD FirstShellId() { return zvu::test::EnsureShellRunning(); }

// Ends the stand-ins that a test started, found through their records.
void EndStandIns(const std::string& record) {
  for (const std::string& started : LinesStartingWith(record, "started ")) {
    const DWORD pid = std::stoul(started.substr(0, started.find(' ')));
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) continue;
    TerminateProcess(process, 9);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
}

class ClientLaunch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(zvu::test::EnsureShellRunning(), 0u) << "explorer.exe does not run";
    record_ = zvu::test::ExeDir() + "ZelkoVuroUpdateGui.record.txt";
    DeleteFileA(record_.c_str());
    // The stand-in must be found beside this program, not in the current folder.
    GetCurrentDirectoryA(MAX_PATH, savedDirectory_);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    SetCurrentDirectoryA(temp);
  }
  void TearDown() override {
    EndStandIns(record_);
    SetCurrentDirectoryA(savedDirectory_);
  }

  std::string record_;
  char savedDirectory_[MAX_PATH] = {};
};

TEST_F(ClientLaunch, StartsTheClientBesideTheServiceInTheShellsSession) {
  zvu::test::LogCapture log("zvu_launch");
  const DWORD shell = FirstShellId();
  ASSERT_NE(shell, 0u) << "explorer.exe does not run";
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(shell, &session));

  zvu::ClientTable table;
  zvu::ChosenClient chosen;
  EXPECT_EQ(zvu::FindClient(table, &chosen), zvu::kNoClient);
  const std::string expected = "Try to start proces in WinlogonSession:" + std::to_string(session) +
                               " \r\nSesion is active \r\n";
  EXPECT_EQ(log.Text(), expected);

  ASSERT_TRUE(WaitUntil([&] { return !LinesStartingWith(record_, "started ").empty(); }, 10000));
  const std::string started = LinesStartingWith(record_, "started ")[0];
  EXPECT_EQ(started.substr(started.find(' ') + 1), std::to_string(session));
}

TEST_F(ClientLaunch, StartedClientRegistersAndReceivesTheNextCatalogue) {
  zvu::ClientPipeServer server;
  ASSERT_EQ(server.StartRegistrationThread(), 0);
  // No client yet: this hand-off starts one and fails.
  EXPECT_EQ(server.SendCatalogue("<updates/>", nullptr), zvu::kNoClient);
  ASSERT_TRUE(WaitUntil([&] { return server.Clients().Count() == 1; }, 10000));
  EXPECT_EQ(server.SendCatalogue("<updates/>", nullptr), 0);
  ASSERT_TRUE(WaitUntil([&] { return !LinesStartingWith(record_, "catalogue ").empty(); }, 10000));
  EXPECT_EQ(LinesStartingWith(record_, "catalogue ")[0], zvu::test::Hex("<updates/>"));
  EXPECT_EQ(LinesStartingWith(record_, "started ").size(), 1u);
}

TEST_F(ClientLaunch, FailedStepsAreLoggedWithTheirCodes) {
  zvu::test::LogCapture log("zvu_launch_fail");
  const DWORD shell = FirstShellId();
  ASSERT_NE(shell, 0u);
  DWORD session = 0;
  ProcessIdToSessionId(shell, &session);

  EXPECT_EQ(zvu::LaunchClientInSession("zvu_no_such_program.exe", session, shell),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  const DWORD noShell = zvu::LaunchClientInSession(zvu::kClientCommandLine, session, 0xFFFFFFF0u);
  EXPECT_NE(noShell, 0u);
  EXPECT_EQ(log.Text(),
            "Error startin process:zvu_no_such_program.exe eror: 2  in:e8 \r\n"
            "Error startin process:ZelkoVuroUpdateGui.exe eror: " + std::to_string(noShell) +
                "  in:e5 \r\n");
  EXPECT_TRUE(LinesStartingWith(record_, "started ").empty());
}

}  // namespace
