#include "installer_runner.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "installer_command.h"
#include "installer_digest.h"
#include "install_road.h"
#include "installer_starter.h"
#include "unique_handle.h"
#include "installer_log_file.h"
#include "installer_test_support.h"
#include "log_capture.h"
#include "test_env.h"
#include "wait_until.h"

namespace {

using zvu::InstallerRunner;
using zvu::test::CopyFakeSetup;
using zvu::test::FileExists;
using zvu::test::ReadWholeFile;

class RecordingPump : public zvu::InstallerWaitCallback {
 public:
  int OnInstallerWait() override {
    times.push_back(GetTickCount64());
    if (onCall) onCall(times.size());
    return 1;
  }
  std::vector<ULONGLONG> times;
  std::function<void(size_t)> onCall;
};

std::string LocalAppData() {
  char folder[MAX_PATH] = {};
  SHGetSpecialFolderPathA(nullptr, folder, CSIDL_LOCAL_APPDATA, TRUE);
  return folder;
}

std::string LongPath(const std::string& path) {
  char buffer[MAX_PATH] = {};
  GetLongPathNameA(path.c_str(), buffer, MAX_PATH);
  return buffer;
}

class RunnerTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = zvu::test::FreshTempFolder("zvu runner tests"); }
  std::string folder_;  // has a space in its name
};

// The major version is the one the system's msi.dll reports of itself, not
// the runner's fallback.
TEST(InstallerRunnerSetup, KnowsTheWindowsInstallerVersion) {
  HMODULE msi = LoadLibraryA("msi.dll");
  ASSERT_NE(msi, nullptr);
  const auto getVersion =
      reinterpret_cast<HRESULT(CALLBACK*)(DLLVERSIONINFO*)>(
          reinterpret_cast<void*>(GetProcAddress(msi, "DllGetVersion")));
  DLLVERSIONINFO reported = {};
  reported.cbSize = sizeof(reported);
  const HRESULT hr = getVersion ? getVersion(&reported) : E_NOTIMPL;
  FreeLibrary(msi);
  ASSERT_EQ(hr, S_OK);

  InstallerRunner runner;
  EXPECT_EQ(runner.InstallerMajorVersion(), static_cast<int>(reported.dwMajorVersion));
  EXPECT_TRUE(runner.LogPath().empty());
}

TEST(InstallerRunnerSetup, PreparesAnEmptyLogUnderLocalAppDataEachTime) {
  InstallerRunner runner;
  ASSERT_EQ(runner.PrepareLogFile("setup one.exe.log"), 0);
  const std::string log = runner.LogPath();
  EXPECT_EQ(log.find(' '), std::string::npos) << log;
  EXPECT_EQ(lstrcmpiA(LongPath(log).c_str(),
                      (LocalAppData() + "\\Zelko\\VuroUpdate\\setup one.exe.log").c_str()),
            0)
      << LongPath(log);
  EXPECT_TRUE(FileExists(log));
  EXPECT_EQ(ReadWholeFile(log), "");

  ASSERT_TRUE(zvu::test::WriteBytes(log, "an earlier run's log"));
  ASSERT_EQ(runner.PrepareLogFile("setup one.exe.log"), 0);
  EXPECT_EQ(ReadWholeFile(runner.LogPath()), "");
}

TEST(InstallerRunnerSetup, RefusesLogNamesThatLeaveTheFolderAndFoldersThatCannotBeMade) {
  const std::string base = zvu::test::FreshTempFolder("zvu log base");
  std::string shortPath = "stale";
  for (const char* name : {"", ".", "..", "..\\escape.log", "sub/x.log", "C:x.log", "a\tb.log",
                           "a?b.log"}) {
    EXPECT_EQ(zvu::CreateEmptyLogFile(base, name, shortPath), -1) << name;
    EXPECT_TRUE(shortPath.empty());
  }
  EXPECT_FALSE(FileExists(base + "\\Zelko\\escape.log"));
  EXPECT_FALSE(FileExists(base + "\\escape.log"));

  // "Zelko" is taken by a file, so the log folder cannot be made.
  const std::string blocked = zvu::test::FreshTempFolder("zvu log blocked");
  ASSERT_TRUE(zvu::test::WriteBytes(blocked + "\\Zelko", "not a folder"));
  EXPECT_EQ(zvu::CreateEmptyLogFile(blocked, "a.log", shortPath), -1);
  EXPECT_EQ(zvu::CreateEmptyLogFile(blocked + "\\Zelko", "a.log", shortPath), -1);
  EXPECT_EQ(zvu::CreateEmptyLogFile("", "a.log", shortPath), -1);

  InstallerRunner runner;
  ASSERT_EQ(runner.PrepareLogFile("good.log"), 0);
  EXPECT_EQ(runner.PrepareLogFile("..\\bad.log"), -1);
  EXPECT_TRUE(runner.LogPath().empty());
}

TEST(InstallerRunnerSetup, WritesResponseFilesWithWindowsLineEnds) {
  const std::string folder = zvu::test::FreshTempFolder("zvu response");
  const std::string path = folder + "\\setup.iss";
  EXPECT_FALSE(InstallerRunner::WriteResponseFile(path, ""));
  EXPECT_FALSE(FileExists(path));
  EXPECT_TRUE(InstallerRunner::WriteResponseFile(path, "[A]\r\nx=1\r\n"));
  EXPECT_EQ(ReadWholeFile(path), "[A]\r\nx=1\r\n");
  EXPECT_TRUE(InstallerRunner::WriteResponseFile(path, "[A]\nx=1\n"));
  EXPECT_EQ(ReadWholeFile(path), "[A]\r\nx=1\r\n");
  EXPECT_FALSE(InstallerRunner::WriteResponseFile("Q:\\no\\such\\folder\\setup.iss", "[A]"));
}

TEST_F(RunnerTest, ResponseFileModeWritesSetupIssAndReadsTheResultFile) {
  const std::string iss =
      "[InstallShield Silent]\r\nVersion=v7.00\r\nFile=Response File\r\n[Application]\r\n";
  const std::string setup = CopyFakeSetup(folder_, "setup.exe");
  InstallerRunner runner;
  EXPECT_TRUE(runner.RunInstaller(setup, folder_, "", "setup.exe.log", iss, nullptr));
  EXPECT_EQ(ReadWholeFile(folder_ + "\\setup.iss"), iss);
  EXPECT_EQ(ReadWholeFile(setup + ".cmdline"), "\"" + setup + "\" /s /f1\"" + folder_ +
                                                   "\\setup.iss\" /f2\"" + runner.LogPath() +
                                                   "\"");
  EXPECT_NE(ReadWholeFile(runner.LogPath()).find("ResultCode=0\r\n"), std::string::npos);

  const std::string failing = CopyFakeSetup(folder_, "setup-fail.exe");
  EXPECT_FALSE(runner.RunInstaller(failing, folder_, "", "setup-fail.exe.log", iss, nullptr));
  EXPECT_NE(ReadWholeFile(runner.LogPath()).find("ResultCode=-3"), std::string::npos);
}

TEST_F(RunnerTest, WrappedPackageModeReadsTheUtf16Log) {
  const std::string setup = CopyFakeSetup(folder_, "setup.exe");
  InstallerRunner runner;
  EXPECT_TRUE(runner.RunInstaller(setup, folder_, "", "setup.exe.log", "", nullptr));
  // Once the last handle to the installer's ended thread is closed its id is
  // gone. (Wine keeps ended process objects for a while, so only the thread
  // can show a handle left open.)
  unsigned long processId = 0;
  unsigned long threadId = 0;
  ASSERT_EQ(sscanf(ReadWholeFile(setup + ".ids").c_str(), "%lu %lu", &processId, &threadId), 2);
  HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
  EXPECT_EQ(thread, nullptr) << "installer thread handle left open";
  if (thread) CloseHandle(thread);
  EXPECT_EQ(ReadWholeFile(setup + ".cmdline"),
            "\"" + setup + "\" /s /sms /v\"/qn /norestart /log " + runner.LogPath() + " \"");

  const std::string failing = CopyFakeSetup(folder_, "setup-fail.exe");
  EXPECT_FALSE(runner.RunInstaller(failing, folder_, "", "setup-fail.exe.log", "", nullptr));
}

TEST_F(RunnerTest, OptionsReachTheInstallerVerbatim) {
  const std::string setup = CopyFakeSetup(folder_, "setup.exe");
  const std::string options = "/log <log_file_name> NAME=\"Tom & Jerry\" X=1&2 & echo";
  InstallerRunner runner;
  EXPECT_TRUE(runner.RunInstaller(setup, folder_, options, "setup.exe.log", "", nullptr));
  EXPECT_EQ(ReadWholeFile(setup + ".cmdline"),
            "\"" + setup + "\" " + zvu::ReplaceAll(options, "<log_file_name>", runner.LogPath()));

  // Options win over the issfile text: no response file is written.
  runner.RunInstaller(setup, folder_, options, "setup.exe.log", "[A]", nullptr);
  EXPECT_FALSE(FileExists(folder_ + "\\setup.iss"));
}

TEST_F(RunnerTest, ExitCodeOfTheInstallerDecidesNothing) {
  // Ends with 259 (the "still active" value) and a successful log.
  const std::string setup = CopyFakeSetup(folder_, "setup-code259.exe");
  InstallerRunner runner(25);
  const ULONGLONG start = GetTickCount64();
  EXPECT_TRUE(runner.RunInstaller(setup, folder_, "", "a.log", "", nullptr));
  EXPECT_LT(GetTickCount64() - start, 4500u);  // well before the limit of 25 polls
}

TEST_F(RunnerTest, PumpRunsBeforeTheStartAndEvery200Ms) {
  const std::string setup = CopyFakeSetup(folder_, "setup-slow.exe");
  RecordingPump pump;
  std::vector<bool> startedAtCall;
  pump.onCall = [&](size_t) { startedAtCall.push_back(FileExists(setup + ".cmdline")); };
  InstallerRunner runner;
  EXPECT_TRUE(runner.RunInstaller(setup, folder_, "", "slow.log", "", &pump));

  // Two calls before the installer starts, then one per poll of a run of about 1 s.
  ASSERT_GE(pump.times.size(), 2u + 5u);
  EXPECT_LE(pump.times.size(), 2u + 40u);  // polls, not a busy loop
  EXPECT_FALSE(startedAtCall[0]);
  EXPECT_FALSE(startedAtCall[1]);
  for (size_t i = 3; i < pump.times.size(); ++i) {
    const ULONGLONG gap = pump.times[i] - pump.times[i - 1];
    EXPECT_GE(gap, 180u) << "poll " << i;
    EXPECT_LE(gap, 1000u) << "poll " << i;
  }
}

TEST_F(RunnerTest, InstallerThatNeverEndsIsTerminatedAndFails) {
  const std::string setup = CopyFakeSetup(folder_, "setup-hang.exe");
  zvu::test::LogCapture log("zvu_runner_hang");
  RecordingPump pump;
  InstallerRunner runner(5);
  const ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(runner.RunInstaller(setup, folder_, "", "hang.log", "", &pump));
  const ULONGLONG elapsed = GetTickCount64() - start;
  EXPECT_GE(elapsed, 1000u);
  EXPECT_LT(elapsed, 8000u);
  EXPECT_EQ(pump.times.size(), 2u + 6u);  // more than 5 polls
  EXPECT_FALSE(zvu::test::ProcessRunning("setup-hang.exe"));
  // The client's log is the only place that tells why this installation failed.
  EXPECT_EQ(log.Text(), " The installer " + setup + " did not end within 1 s and was stopped\r\n");
}

TEST_F(RunnerTest, InstallerThatEndsDuringTheLastPollIsNoTimeOut) {
  const std::string setup = CopyFakeSetup(folder_, "setup-slow.exe");
  RecordingPump pump;
  // Two calls come before the start, one with each poll. At the last poll the
  // installer is still running; the pump holds on until it has ended, so it
  // ends inside the last pause.
  pump.onCall = [&](size_t index) {
    if (index != 4) return;  // the second poll, the last one allowed
    zvu::test::WaitUntil([] { return !zvu::test::ProcessRunning("setup-slow.exe"); }, 10000);
  };
  InstallerRunner runner(1);
  EXPECT_TRUE(runner.RunInstaller(setup, folder_, "", "slow.log", "", &pump));
  EXPECT_EQ(pump.times.size(), 2u + 2u);
}

TEST_F(RunnerTest, NothingStartsWhenTheRunCannotBeSetUp) {
  const std::string setup = CopyFakeSetup(folder_, "setup.exe");
  InstallerRunner runner;
  RecordingPump pump;

  // 260 characters and more: refused, even though it names an existing program.
  const std::string longPath = folder_ + "\\" + std::string(250, 'a') + "\\..\\setup.exe";
  EXPECT_FALSE(runner.RunInstaller(longPath, folder_, "", "a.log", "", &pump));
  // Response file cannot be written.
  EXPECT_FALSE(runner.RunInstaller(setup, "Q:\\no such folder", "", "a.log", "[A]", &pump));
  EXPECT_FALSE(FileExists(setup + ".cmdline"));
  EXPECT_EQ(pump.times.size(), 2u);  // only the call after each log was made

  // Unusable log name: not even the pump is called.
  EXPECT_FALSE(runner.RunInstaller(setup, folder_, "", "..\\a.log", "", &pump));
  EXPECT_EQ(pump.times.size(), 2u);
  // A program that does not exist cannot start.
  EXPECT_FALSE(runner.RunInstaller(folder_ + "\\missing.exe", folder_, "", "a.log", "", &pump));
}

TEST_F(RunnerTest, LogFolderThatCannotBeCreatedStopsTheRun) {
  const std::string zelko = LocalAppData() + "\\Zelko";
  const std::string saved = zelko + ".saved-by-test";
  MoveFileA(zelko.c_str(), saved.c_str());
  ASSERT_TRUE(zvu::test::WriteBytes(zelko, "a file where the folder belongs"));

  const std::string setup = CopyFakeSetup(folder_, "setup.exe");
  RecordingPump pump;
  InstallerRunner runner;
  EXPECT_EQ(runner.PrepareLogFile("a.log"), -1);
  EXPECT_FALSE(runner.RunInstaller(setup, folder_, "", "a.log", "", &pump));
  EXPECT_TRUE(pump.times.empty());
  EXPECT_FALSE(FileExists(setup + ".cmdline"));

  DeleteFileA(zelko.c_str());
  MoveFileA(saved.c_str(), zelko.c_str());
}

TEST_F(RunnerTest, WinesMsiexecInstallsAPackageGivenWithCapitalsAndTrailingSpace) {
  zvu::test::RemoveAlpha();
  const std::string package = folder_ + "\\Alpha Setup.MSI";
  ASSERT_TRUE(CopyFileA((zvu::test::InstallersDir() + "\\alpha-1.0.msi").c_str(), package.c_str(),
                        FALSE));
  InstallerRunner runner;
  // Wine's msiexec writes an ANSI log without the completion line, which
  // never reads as success; the installation itself happens.
  EXPECT_FALSE(runner.RunInstaller(package + " ", folder_, "", "alpha.log", "", nullptr));
  EXPECT_EQ(zvu::test::ProductDword("Alpha", "Major"), 1u);
  EXPECT_EQ(zvu::test::ProductDword("Alpha", "Minor"), 0u);
  EXPECT_EQ(zvu::test::ProductDword("Alpha", "build"), 0u);
  EXPECT_FALSE(ReadWholeFile(runner.LogPath()).empty());
  zvu::test::RemoveAlpha();
}

// Between the digest check and the start nothing can change what runs: the
// pump, called before the installer starts, tries to replace the installer
// and its response file, and the run goes on with the files as checked and
// as written. Once the installer has started, the files are let go.
TEST_F(RunnerTest, SwapBetweenCheckAndStartChangesNothing) {
  const std::string iss = "[InstallShield Silent]\r\nVersion=v7.00\r\n";
  const std::string setup = CopyFakeSetup(folder_, "setup.exe");
  const std::string checked = ReadWholeFile(setup);
  std::string digest;
  ASSERT_TRUE(zvu::ComputeFileSha256(setup, digest));
  zvu::DigestCheck check = zvu::VerifyInstallerDigest(setup, digest);
  ASSERT_TRUE(check.held.IsHeld());

  const std::string response = folder_ + "\\setup.iss";
  const std::string replacement = folder_ + "\\replacement";
  ASSERT_TRUE(zvu::test::WriteBytes(replacement, "MZ another program"));
  RecordingPump pump;
  std::vector<std::string> swaps;  // the attempts that worked
  pump.onCall = [&](size_t index) {
    if (index > 2) return;  // the two calls before the start
    if (zvu::test::WriteBytes(setup, "MZ another program")) swaps.push_back("write installer");
    if (MoveFileExA(replacement.c_str(), setup.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      swaps.push_back("replace installer");
    }
    if (DeleteFileA(setup.c_str())) swaps.push_back("delete installer");
    // The second call comes after the response file was written.
    if (index == 2 && zvu::test::WriteBytes(response, "[changed]")) swaps.push_back("write iss");
    if (index == 2 && DeleteFileA(response.c_str())) swaps.push_back("delete iss");
  };
  InstallerRunner runner;
  EXPECT_TRUE(runner.RunInstaller(setup, folder_, "", "setup.exe.log", iss, &pump,
                                  std::move(check.held)));
  EXPECT_TRUE(swaps.empty()) << swaps.front();
  EXPECT_EQ(ReadWholeFile(setup), checked);
  EXPECT_EQ(ReadWholeFile(response), iss);
  EXPECT_TRUE(FileExists(setup + ".cmdline"));  // the checked program ran

  EXPECT_TRUE(DeleteFileA(response.c_str()));
  EXPECT_TRUE(MoveFileExA(replacement.c_str(), setup.c_str(), MOVEFILE_REPLACE_EXISTING));
}

// Answers as Windows would where Wine cannot: a start refused because the
// program asks for administrator rights (740), a consent prompt declined.
// Otherwise it starts for real; Wine's "runas" starts with the same rights.
class ScriptedStarter : public zvu::InstallerStarter {
 public:
  struct Call {
    std::string kind;  // "start" or "runas"
    std::string program;
    std::string line;  // the command line, or the parameters
    HWND owner;
  };
  DWORD Start(const std::string& application, const std::string& commandLine,
              HANDLE* process) override {
    calls.push_back({"start", application, commandLine, nullptr});
    if (startAnswer != 0) return startAnswer;
    return zvu::SystemInstallerStarter().Start(application, commandLine, process);
  }
  DWORD StartElevated(HWND owner, const std::string& file, const std::string& parameters,
                      HANDLE* process) override {
    calls.push_back({"runas", file, parameters, owner});
    if (runasAnswer != 0) return runasAnswer;
    return zvu::SystemInstallerStarter().StartElevated(owner, file, parameters, process);
  }
  DWORD startAnswer = 0;
  DWORD runasAnswer = 0;
  std::vector<Call> calls;
};

TEST_F(RunnerTest, StartRefusedForAdministratorRightsAsksForConsent) {
  const std::string setup = CopyFakeSetup(folder_, "setup.exe");
  ScriptedStarter starter;
  starter.startAnswer = 740;  // ERROR_ELEVATION_REQUIRED
  InstallerRunner runner(InstallerRunner::kDefaultPollLimit, starter);
  EXPECT_TRUE(runner.RunInstaller(setup, folder_, "", "setup.exe.log", "", nullptr));

  const std::string arguments = "/s /sms /v\"/qn /norestart /log " + runner.LogPath() + " \"";
  ASSERT_EQ(starter.calls.size(), 2u);
  EXPECT_EQ(starter.calls[0].kind, "start");
  EXPECT_EQ(starter.calls[0].line, "\"" + setup + "\" " + arguments);
  EXPECT_EQ(starter.calls[1].kind, "runas");
  EXPECT_EQ(starter.calls[1].program, setup);
  EXPECT_EQ(starter.calls[1].line, arguments);
  // The shell's start reached the program with the same arguments.
  const std::string seen = ReadWholeFile(setup + ".cmdline");
  EXPECT_EQ(seen.substr(seen.size() - arguments.size()), arguments) << seen;
}

TEST_F(RunnerTest, ConsentRoadStartsTheSystemMsiexecThroughTheShell) {
  zvu::test::RemoveAlpha();
  const std::string package = folder_ + "\\alpha-1.0.msi";
  ASSERT_TRUE(CopyFileA((zvu::test::InstallersDir() + "\\alpha-1.0.msi").c_str(), package.c_str(),
                        FALSE));
  ScriptedStarter starter;
  InstallerRunner runner(InstallerRunner::kDefaultPollLimit, starter);
  const HWND owner = GetDesktopWindow();
  runner.UseConsent(true, owner);
  // Wine's msiexec writes no completion line: the result reads as failed.
  runner.RunInstaller(package, folder_, "", "alpha.log", "", nullptr);
  ASSERT_EQ(starter.calls.size(), 1u);
  EXPECT_EQ(starter.calls[0].kind, "runas");
  EXPECT_EQ(starter.calls[0].program, zvu::test::SystemMsiexec());
  EXPECT_EQ(starter.calls[0].line,
            "/i \"" + package + "\" /qn /norestart /log " + runner.LogPath() + " ");
  EXPECT_EQ(starter.calls[0].owner, owner);
  EXPECT_EQ(zvu::test::ProductDword("Alpha", "Major"), 1u);  // installed all the same
  zvu::test::RemoveAlpha();
}

TEST_F(RunnerTest, DeclinedConsentAndFailedStartsAreNotInstalledAndLogged) {
  const std::string setup = CopyFakeSetup(folder_, "setup.exe");
  ScriptedStarter starter;
  starter.runasAnswer = ERROR_CANCELLED;
  InstallerRunner runner(InstallerRunner::kDefaultPollLimit, starter);
  runner.UseConsent(true, nullptr);
  {
    zvu::test::LogCapture log("zvu_runner_declined");
    EXPECT_FALSE(runner.RunInstaller(setup, folder_, "", "setup.exe.log", "", nullptr));
    EXPECT_EQ(log.Text(), " The installer " + setup +
                              " was not started: administrator rights for it were declined"
                              " (error 1223)\r\n");
  }
  EXPECT_FALSE(FileExists(setup + ".cmdline"));

  InstallerRunner direct;
  zvu::test::LogCapture log("zvu_runner_not_started");
  const std::string missing = folder_ + "\\missing.exe";
  EXPECT_FALSE(direct.RunInstaller(missing, folder_, "", "a.log", "", nullptr));
  EXPECT_EQ(log.Text(), " The installer " + missing + " could not be started (error 2)\r\n");
}

// Under Wine every process is elevated, and its linked token is the limited
// one a filtered administrator's client would run with.
TEST(InstallRoad, ElevatedTokensRunInstallersLimitedOnesAskForConsent) {
  zvu::UniqueHandle token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, token.put()));
  EXPECT_TRUE(zvu::TokenRunsInstallersDirectly(token.get()));
  EXPECT_TRUE(zvu::ProcessRunsInstallersDirectly());
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token.get(), TokenLinkedToken, &linked, sizeof linked, &size));
  const zvu::UniqueHandle limited(linked.LinkedToken);
  EXPECT_FALSE(zvu::TokenRunsInstallersDirectly(limited.get()));

  using zvu::InstallRoad;
  EXPECT_EQ(zvu::ChooseInstallRoad(true, true, true), InstallRoad::Direct);
  EXPECT_EQ(zvu::ChooseInstallRoad(true, false, false), InstallRoad::Direct);
  EXPECT_EQ(zvu::ChooseInstallRoad(false, true, true), InstallRoad::Service);
  EXPECT_EQ(zvu::ChooseInstallRoad(false, true, false), InstallRoad::Consent);
  EXPECT_EQ(zvu::ChooseInstallRoad(false, false, true), InstallRoad::Consent);
}

// A program called msiexec.exe in the client's own folder or in the current
// directory is never what installs a package: the system folder's is.
TEST_F(RunnerTest, PackagesRunTheSystemFoldersMsiexecOnly) {
  zvu::test::RemoveAlpha();
  char ownPath[MAX_PATH] = {};
  ASSERT_NE(GetModuleFileNameA(nullptr, ownPath, MAX_PATH), 0u);
  std::string ownFolder = ownPath;
  ownFolder.erase(ownFolder.find_last_of('\\'));
  const std::string current = zvu::test::FreshTempFolder("zvu current folder");
  // The fake setup program leaves "<own path>.cmdline" behind when it runs.
  const std::string fakes[] = {CopyFakeSetup(ownFolder, "msiexec.exe"),
                               CopyFakeSetup(current, "msiexec.exe")};
  for (const std::string& fake : fakes) DeleteFileA((fake + ".cmdline").c_str());
  char previous[MAX_PATH] = {};
  ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, previous), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));

  const std::string package = folder_ + "\\alpha-1.0.msi";
  ASSERT_TRUE(CopyFileA((zvu::test::InstallersDir() + "\\alpha-1.0.msi").c_str(), package.c_str(),
                        FALSE));
  // Both forms of a package's command line; the system's msiexec ran each
  // time, as the installed product shows.
  InstallerRunner runner;
  runner.RunInstaller(package, folder_, "ZVU_NOTE=options /qn", "alpha.log", "", nullptr);
  EXPECT_EQ(zvu::test::ProductString("Alpha", "Note"), "options");
  zvu::test::RemoveAlpha();
  runner.RunInstaller(package, folder_, "", "alpha.log", "", nullptr);
  EXPECT_EQ(zvu::test::ProductDword("Alpha", "Major"), 1u);

  SetCurrentDirectoryA(previous);
  for (const std::string& fake : fakes) {
    EXPECT_FALSE(FileExists(fake + ".cmdline")) << fake << " was started";
    for (const char* left : {"", ".cmdline", ".ids"}) DeleteFileA((fake + left).c_str());
  }
  zvu::test::RemoveAlpha();
}

}  // namespace
