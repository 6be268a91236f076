#include "client_launcher.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "client_finder.h"
#include "client_pipe_server.h"
#include "log_capture.h"
#include "process_open_recorder.h"
#include "session_inspector.h"
#include "shell_token_check.h"

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

// While a catalogue waits and no client qualifies, the shell is found from
// the names and ids of a process snapshot: the launch pass opens the shell it
// starts the client from and no other process (on a server every process,
// lsass among them, was opened every 5 seconds).
TEST_F(ClientLaunch, TheLaunchPassOpensOnlyTheShellItStartsFrom) {
  const DWORD shell = FirstShellId();
  ASSERT_NE(shell, 0u);
  // One more process beside the system's own, to make a sweep plain to see.
  zvu::test::ChildProcess bystander;
  ASSERT_TRUE(bystander.Start(zvu::test::Quote(zvu::test::ExeDir() + "ZelkoVuroUpdateGui.exe"),
                              CREATE_SUSPENDED));

  zvu::test::LogCapture log("zvu_launch_opens");
  zvu::ClientTable table;
  zvu::ChosenClient chosen;
  std::vector<DWORD> opened;
  {
    zvu::test::ProcessOpenRecorder recorder;
    ASSERT_TRUE(recorder.Installed());
    EXPECT_EQ(zvu::FindClient(table, &chosen), zvu::kNoClient);
    opened = recorder.Opened();
  }
  EXPECT_EQ(opened, std::vector<DWORD>{shell});
  EXPECT_EQ(log.Count("Sesion is active \r\n"), 1u) << log.Text();
  ASSERT_TRUE(WaitUntil([&] { return !LinesStartingWith(record_, "started ").empty(); }, 10000));
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

// Sets an environment variable of this process for the lifetime of the
// object, as the service's own environment would carry it.
class OwnVariable {
 public:
  OwnVariable(const char* name, const char* value) : name_(name) {
    char saved[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA(name, saved, MAX_PATH);
    if (length != 0 && length < MAX_PATH) saved_ = std::string(saved, length);
    SetEnvironmentVariableA(name, value);
  }
  ~OwnVariable() { SetEnvironmentVariableA(name_, saved_ ? saved_->c_str() : nullptr); }
  OwnVariable(const OwnVariable&) = delete;
  OwnVariable& operator=(const OwnVariable&) = delete;
  const std::optional<std::string>& Saved() const { return saved_; }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

// Whether the stand-in's record holds the lines it writes on start.
bool StartRecorded(const std::string& record) {
  return !LinesStartingWith(record, "started ").empty() &&
         !LinesStartingWith(record, "folder ").empty();
}

// The environment and the current folder of this process are the service's;
// the client gets neither: the user's environment, and the folder it is
// installed in (this program's), whichever road its user's token took.
TEST_F(ClientLaunch, TheClientGetsTheUsersEnvironmentAndItsOwnFolder) {
  const DWORD shell = FirstShellId();
  ASSERT_NE(shell, 0u);
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(shell, &session));
  OwnVariable marker("ZVU_MARKER", "service only");
  OwnVariable temp("TEMP", "C:\\zvu_service_temp");
  ASSERT_TRUE(temp.Saved().has_value()) << "the user has no TEMP";
  std::string folder = zvu::test::ExeDir();
  folder.pop_back();

  for (const DWORD shellId : {shell, 0ul}) {
    SCOPED_TRACE(shellId == 0 ? "session's user token" : "shell's token");
    zvu::test::LogCapture log("zvu_launch_environment");
    EndStandIns(record_);
    DeleteFileA(record_.c_str());
    ASSERT_EQ(zvu::LaunchClientInSession(zvu::kClientCommandLine, session, shellId), 0u)
        << log.Text();
    ASSERT_TRUE(WaitUntil([&] { return StartRecorded(record_); }, 10000));
    EXPECT_EQ(LinesStartingWith(record_, "temp "), std::vector<std::string>{*temp.Saved()});
    EXPECT_EQ(LinesStartingWith(record_, "folder "), std::vector<std::string>{folder});
    EXPECT_TRUE(LinesStartingWith(record_, "marker ").empty());
    EXPECT_EQ(log.Text(), "");
  }
}

// Between the snapshot and the open, the shell can end and its id be given
// to another process: one of local system in the user's session (winlogon,
// consent.exe), or one of another session. Such a token is refused and
// nothing is started from it; the pass goes on with the next shell, as for a
// shell that cannot be opened, and does not fall back to the session's user.
TEST_F(ClientLaunch, AShellsIdThatNamesAnotherAccountStartsNothing) {
  const DWORD shell = FirstShellId();
  ASSERT_NE(shell, 0u);
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(shell, &session));
  std::vector<BYTE> localSystem(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(localSystem.size());
  ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, localSystem.data(), &size));
  localSystem.resize(size);

  // The real token's facts, with the user or the session replaced.
  const zvu::ShellTokenReader asLocalSystem = [&](HANDLE token, zvu::ShellTokenFacts* facts) {
    const DWORD error = zvu::ReadShellTokenFacts(token, facts);
    facts->userSid = localSystem;
    return error;
  };
  const zvu::ShellTokenReader ofOtherSession = [&](HANDLE token, zvu::ShellTokenFacts* facts) {
    const DWORD error = zvu::ReadShellTokenFacts(token, facts);
    facts->sessionId = session + 1;
    return error;
  };
  const zvu::ShellTokenReader unreadable = [](HANDLE, zvu::ShellTokenFacts*) -> DWORD {
    return ERROR_INVALID_HANDLE;
  };
  struct Case {
    const char* name;
    const zvu::ShellTokenReader& reader;
    DWORD result;
    std::string record;  // after "Shell PID: <id> not used to start process:"
  };
  const Case cases[] = {
      {"local system", asLocalSystem, ERROR_ACCESS_DENIED,
       "ZelkoVuroUpdateGui.exe, its token is a service account's \r\n"},
      {"other session", ofOtherSession, ERROR_ACCESS_DENIED,
       "ZelkoVuroUpdateGui.exe, its token is of session " + std::to_string(session + 1) +
           ", not " + std::to_string(session) + " \r\n"},
      {"not read", unreadable, ERROR_INVALID_HANDLE,
       "ZelkoVuroUpdateGui.exe, its token not read Err:6 \r\n"},
  };
  for (const Case& refused : cases) {
    SCOPED_TRACE(refused.name);
    zvu::test::LogCapture log("zvu_launch_refused");
    std::vector<DWORD> tried;
    std::vector<DWORD> results;
    const zvu::ClientLauncher launch = [&](const char* commandLine, DWORD sessionId,
                                           DWORD shellProcessId) {
      tried.push_back(shellProcessId);
      results.push_back(zvu::LaunchClientWithTokenReader(commandLine, sessionId, shellProcessId,
                                                         refused.reader));
      return results.back();
    };
    zvu::ClientTable table;
    zvu::SessionInspector inspector;
    EXPECT_EQ(zvu::FindClient(table, inspector, launch, nullptr), zvu::kNoClient);

    // Wine runs a shell for each desktop: every one is tried and refused.
    ASSERT_FALSE(tried.empty());
    EXPECT_NE(std::find(tried.begin(), tried.end(), shell), tried.end());
    EXPECT_EQ(results, std::vector<DWORD>(tried.size(), refused.result));
    std::string expected;
    for (const DWORD id : tried) {
      expected += "Try to start proces in WinlogonSession:" + std::to_string(session) +
                  " \r\nSesion is active \r\nShell PID: " + std::to_string(id) +
                  " not used to start process:" + refused.record;
    }
    EXPECT_EQ(log.Text(), expected);
  }
  // Every launch ended before CreateProcessAsUserW: no stand-in was started.
  EXPECT_TRUE(LinesStartingWith(record_, "started ").empty());
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
