#include <windows.h>

#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "child_process.h"
#include "client_finder.h"
#include "log_capture.h"
#include "session_inspector.h"
#include "temp_files.h"

namespace {

using zvu::test::ChildProcess;

const bool g_childrenOffTheOutput = zvu::test::KeepChildrenOffTheOutput();

TEST(SessionRules, TerminalServicesAwareness) {
  EXPECT_TRUE(zvu::IsTerminalServicesSystem(VER_NT_WORKSTATION, 0));
  EXPECT_TRUE(zvu::IsTerminalServicesSystem(VER_NT_SERVER, VER_SUITE_TERMINAL));
  EXPECT_TRUE(zvu::IsTerminalServicesSystem(VER_NT_DOMAIN_CONTROLLER,
                                            VER_SUITE_TERMINAL | VER_SUITE_SINGLEUSERTS));
  EXPECT_FALSE(zvu::IsTerminalServicesSystem(VER_NT_SERVER, VER_SUITE_SINGLEUSERTS));
}

TEST(SessionRules, FailedOrUnknownSessionQueriesCountAsActiveConsole) {
  EXPECT_TRUE(zvu::SessionActiveFromQuery(false, 0, WTSDisconnected));
  EXPECT_TRUE(zvu::SessionActiveFromQuery(true, 7022, WTSDisconnected));
  EXPECT_TRUE(zvu::SessionActiveFromQuery(true, 0, WTSActive));
  EXPECT_FALSE(zvu::SessionActiveFromQuery(true, 0, WTSDisconnected));
  EXPECT_FALSE(zvu::SessionActiveFromQuery(true, 0, WTSListen));

  EXPECT_TRUE(zvu::ConsoleFromQuery(false, 0, 2));
  EXPECT_TRUE(zvu::ConsoleFromQuery(true, 7022, 2));
  EXPECT_TRUE(zvu::ConsoleFromQuery(true, 0, 0));
  EXPECT_FALSE(zvu::ConsoleFromQuery(true, 0, 2));
}

TEST(SessionInspector, AnswersForTheRunningSystem) {
  // Without terminal services every session is an active console.
  zvu::SessionInspector plain(false);
  EXPECT_TRUE(plain.IsSessionActive(4711));
  EXPECT_TRUE(plain.IsConsoleSession(4711));

  // This program's own session is active, and it is the console here.
  zvu::SessionInspector system;
  DWORD session = 0;
  ASSERT_TRUE(system.SessionOfProcess(GetCurrentProcessId(), &session));
  EXPECT_TRUE(system.IsSessionActive(session));
  EXPECT_TRUE(system.IsConsoleSession(session));
}

// Sessions made up per process, so that clients of one machine can sit in
// console, terminal and inactive sessions.
class MadeUpSessions : public zvu::SessionRules {
 public:
  std::map<DWORD, DWORD> sessionOf;
  std::set<DWORD> active;
  std::set<DWORD> console;
  // When set, what the snapshot and the session list report.
  std::optional<std::vector<DWORD>> shells;
  std::optional<std::vector<DWORD>> sessions;

  // How often the process snapshot was asked for.
  mutable int shellWalks = 0;

  std::vector<DWORD> ShellProcesses() const override {
    ++shellWalks;
    return shells ? *shells : SessionRules::ShellProcesses();
  }
  std::vector<DWORD> Sessions() const override {
    return sessions ? *sessions : SessionRules::Sessions();
  }
  bool SessionOfProcess(DWORD processId, DWORD* sessionId) const override {
    auto found = sessionOf.find(processId);
    if (found == sessionOf.end()) return SessionRules::SessionOfProcess(processId, sessionId);
    *sessionId = found->second;
    return true;
  }
  bool IsSessionActive(DWORD sessionId) const override { return active.count(sessionId) != 0; }
  bool IsConsoleSession(DWORD sessionId) const override { return console.count(sessionId) != 0; }
};

class FindClientPasses : public ::testing::Test {
 protected:
  // A live process to register: a suspended stand-in that never runs.
  DWORD AddClient(DWORD session) {
    auto& child = children_.emplace_back(std::make_unique<ChildProcess>());
    EXPECT_TRUE(child->Start(zvu::test::Quote(zvu::test::ExeDir() + "ZelkoVuroUpdateGui.exe"), CREATE_SUSPENDED));
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, nullptr, 0);
    CloseHandle(readEnd);
    table_.InsertOrReplace(child->Id(), writeEnd);
    rules_.sessionOf[child->Id()] = session;
    return child->Id();
  }

  std::vector<std::unique_ptr<ChildProcess>> children_;
  zvu::ClientTable table_;
  MadeUpSessions rules_;
};

TEST_F(FindClientPasses, ConsoleClientIsPreferredWhateverItsPlaceInTheTable) {
  zvu::test::LogCapture log("zvu_find_console");
  rules_.active = {11, 12};
  rules_.console = {12};
  AddClient(11);
  const DWORD consoleClient = AddClient(12);

  zvu::ChosenClient chosen;
  ASSERT_EQ(zvu::FindClient(table_, rules_, &chosen), 0);
  EXPECT_EQ(chosen.processId, consoleClient);
  EXPECT_EQ(log.Text(), "client found in console session:12 PID: " +
                            std::to_string(consoleClient) + " \r\n");
}

TEST_F(FindClientPasses, WithoutConsoleClientTheFirstActiveSessionsClientIsChosen) {
  zvu::test::LogCapture log("zvu_find_terminal");
  rules_.active = {12, 13};
  AddClient(11);  // inactive
  const DWORD terminalClient = AddClient(12);
  AddClient(13);

  zvu::ChosenClient chosen;
  ASSERT_EQ(zvu::FindClient(table_, rules_, &chosen), 0);
  EXPECT_EQ(chosen.processId, terminalClient);
  EXPECT_EQ(log.Text(), "client found in terminal session:12 PID: " +
                            std::to_string(terminalClient) + " \r\n");
  EXPECT_EQ(table_.Count(), 3u);
}

TEST_F(FindClientPasses, NoActiveSessionMeansNoClientAndNoStart) {
  AddClient(11);
  zvu::ChosenClient chosen;
  {  // The sessions are listed and none is active: no process snapshot at all.
    zvu::test::LogCapture log("zvu_find_none");
    rules_.sessions = std::vector<DWORD>{0, 1, 2};
    EXPECT_EQ(zvu::FindClient(table_, rules_, &chosen), zvu::kNoClient);
    EXPECT_EQ(rules_.shellWalks, 0);
    EXPECT_EQ(log.Text(), "");
  }
  {  // The sessions cannot be listed: the shells are looked for, and each
     // is tried, but its session is not active and nothing is started.
    zvu::test::LogCapture log("zvu_find_none_unlisted");
    rules_.sessions = std::vector<DWORD>{};
    EXPECT_EQ(zvu::FindClient(table_, rules_, &chosen), zvu::kNoClient);
    EXPECT_EQ(rules_.shellWalks, 1);
    DWORD shellSession = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &shellSession);
    // Wine runs a shell for each desktop; each is tried.
    const std::string tried =
        "Try to start proces in WinlogonSession:" + std::to_string(shellSession) + " \r\n";
    const std::string text = log.Text();
    ASSERT_FALSE(text.empty());
    ASSERT_EQ(text.size() % tried.size(), 0u) << text;
    for (size_t at = 0; at < text.size(); at += tried.size()) {
      EXPECT_EQ(text.substr(at, tried.size()), tried);
    }
  }
  EXPECT_EQ(table_.Count(), 1u);
}

// The shell is known by its executable's file name alone, letter case
// included, wherever the file lies.
TEST(SessionRules, ShellsAreTheProcessesNamedExactlyExplorerExe) {
  const DWORD desktopShell = zvu::test::EnsureShellRunning();
  ASSERT_NE(desktopShell, 0u);
  const std::string standIn = zvu::test::ExeDir() + "ZelkoVuroUpdateGui.exe";
  const std::string lower = zvu::test::FreshTempFolder("zvu_shell_lower");
  const std::string mixed = zvu::test::FreshTempFolder("zvu_shell_mixed");
  ASSERT_TRUE(CopyFileA(standIn.c_str(), (lower + "\\explorer.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(standIn.c_str(), (mixed + "\\Explorer.exe").c_str(), FALSE));
  {
    ChildProcess named(zvu::test::Quote(lower + "\\explorer.exe"), CREATE_SUSPENDED);
    ChildProcess otherCase(zvu::test::Quote(mixed + "\\Explorer.exe"), CREATE_SUSPENDED);
    ASSERT_NE(named.Id(), 0u);
    ASSERT_NE(otherCase.Id(), 0u);

    const std::vector<DWORD> shells = zvu::SessionInspector().ShellProcesses();
    const std::set<DWORD> found(shells.begin(), shells.end());
    EXPECT_EQ(found.count(desktopShell), 1u);
    EXPECT_EQ(found.count(named.Id()), 1u);
    EXPECT_EQ(found.count(otherCase.Id()), 0u);
    EXPECT_EQ(found.count(GetCurrentProcessId()), 0u);
  }
  zvu::test::DeleteTree(lower);
  zvu::test::DeleteTree(mixed);
}

// The starts that FindClient asks for, answered from a list of results.
struct RecordedLaunches {
  std::vector<std::pair<DWORD, DWORD>> calls;  // session, shell
  std::vector<DWORD> results;

  zvu::ClientLauncher Launcher() {
    return [this](const char* commandLine, DWORD session, DWORD shell) -> DWORD {
      EXPECT_STREQ(commandLine, "ZelkoVuroUpdateGui.exe");
      const size_t call = calls.size();
      calls.emplace_back(session, shell);
      return call < results.size() ? results[call] : 0;
    };
  }
};

using Calls = std::vector<std::pair<DWORD, DWORD>>;

TEST(FindClientLaunch, WithoutShellInAnActiveSessionTheSessionsUserIsStarted) {
  MadeUpSessions rules;
  rules.active = {5, 7, 21};
  rules.sessionOf = {{900, 3}};
  zvu::ClientTable table;

  {  // No shell at all: the first active session whose user token serves.
    zvu::test::LogCapture log("zvu_find_no_shell");
    rules.shells = std::vector<DWORD>{};
    rules.sessions = std::vector<DWORD>{0, 3, 5, 7, 21};
    RecordedLaunches launches;
    launches.results = {ERROR_NO_TOKEN, 0};
    EXPECT_EQ(zvu::FindClient(table, rules, launches.Launcher(), nullptr), zvu::kNoClient);
    EXPECT_EQ(launches.calls, (Calls{{5, 0}, {7, 0}}));
    EXPECT_EQ(log.Text(),
              "No shell in WinlogonSession:5, start with its user token \r\n"
              "No shell in WinlogonSession:7, start with its user token \r\n");
  }
  {  // A shell only in an inactive session does not count.
    zvu::test::LogCapture log("zvu_find_inactive_shell");
    rules.shells = std::vector<DWORD>{900};
    rules.sessions = std::vector<DWORD>{3, 21};
    RecordedLaunches launches;
    EXPECT_EQ(zvu::FindClient(table, rules, launches.Launcher(), nullptr), zvu::kNoClient);
    EXPECT_EQ(launches.calls, (Calls{{21, 0}}));
    EXPECT_EQ(log.Text(),
              "Try to start proces in WinlogonSession:3 \r\n"
              "No shell in WinlogonSession:21, start with its user token \r\n");
  }
  {  // A shell in an active session is used, even when its start fails.
    zvu::test::LogCapture log("zvu_find_failed_shell");
    rules.sessionOf[901] = 7;
    rules.shells = std::vector<DWORD>{901};
    RecordedLaunches launches;
    launches.results = {ERROR_ACCESS_DENIED};
    EXPECT_EQ(zvu::FindClient(table, rules, launches.Launcher(), nullptr), zvu::kNoClient);
    EXPECT_EQ(launches.calls, (Calls{{7, 901}}));
    EXPECT_EQ(log.Text(), "Try to start proces in WinlogonSession:7 \r\nSesion is active \r\n");
  }
  {  // No active session: nobody is started.
    zvu::test::LogCapture log("zvu_find_no_active");
    rules.active.clear();
    rules.shells = std::vector<DWORD>{};
    RecordedLaunches launches;
    EXPECT_EQ(zvu::FindClient(table, rules, launches.Launcher(), nullptr), zvu::kNoClient);
    EXPECT_TRUE(launches.calls.empty());
    EXPECT_EQ(log.Text(), "");
  }
}

}  // namespace
