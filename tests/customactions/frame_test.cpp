// The library's export table, its setup log and the shared steps every
// action takes (property reads, action text, the command runner).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <set>
#include <thread>

#include "hooks_test_support.h"

namespace zvu::test::hooks {
namespace {

const char kInstallBanner[] = "*******************INSTALLATION STARTED*********************\n";
const char kUninstallBanner[] = "*********************UNINSTALL STARTED*********************\n";

std::vector<std::string> ExportedNames(const std::wstring& dll) {
  std::vector<std::string> names;
  HMODULE image = LoadLibraryExW(dll.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  if (!image) return names;
  const auto* base = reinterpret_cast<const BYTE*>(image);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (directory.VirtualAddress != 0) {
    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* nameTable = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
      names.emplace_back(reinterpret_cast<const char*>(base + nameTable[i]));
    }
    EXPECT_EQ(exports->NumberOfFunctions, exports->NumberOfNames) << "unnamed exports";
  }
  FreeLibrary(image);
  return names;
}

TEST(HooksLibraryExports, ExactlyTheNineteenActionsUndecorated) {
  const std::set<std::string> expected = {
      "CheckMMC",          "CheckPrevVersion",  "DeleteAllForUninstall", "DeleteInstallFiles",
      "DeletePrevFiles",   "DeletePrevRegEntries", "FilterExists",       "InsertFilter",
      "InstallSnapin",     "InstallStarted",    "KillVuroUpdate",        "RemoveFilter",
      "ReplaceFilterPath", "StartVuroUpdate",   "StartW3Progress",       "StartW3SVC",
      "StopW3SVC",         "UnInstallStarted",  "UninstallSnapin"};
  const std::vector<std::string> names = ExportedNames(HooksDll());
  EXPECT_EQ(names.size(), 19u);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
}

class SetupLogTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteFileW(LogPath().c_str()); }
  void TearDown() override { DeleteFileW(LogPath().c_str()); }
};

TEST_F(SetupLogTest, FirstActionCreatesTheLogWithATimeStampedBanner) {
  ASSERT_FALSE(FileExists(LogPath()));
  HooksLibrary library;
  ASSERT_TRUE(library.loaded());
  EXPECT_EQ(library.Session("InstallStarted", 0), 0u);
  EXPECT_EQ(library.Session("UnInstallStarted", 0), 0u);
  EXPECT_EQ(LogMessagesFrom(0), (std::vector<std::string>{kInstallBanner, kUninstallBanner}));
}

TEST_F(SetupLogTest, EntriesAreAppendedAfterWhatIsThere) {
  const std::string earlier = "earlier entries\r\n";
  ASSERT_TRUE(WriteFileText(LogPath(), earlier));
  {
    HooksLibrary library;
    library.Session("InstallStarted", 0);
  }
  {
    HooksLibrary again;
    again.Session("UnInstallStarted", 0);
  }
  const std::string text = LogTextFrom(0);
  ASSERT_EQ(text.substr(0, earlier.size()), earlier);
  EXPECT_EQ(LogMessagesFrom(earlier.size()),
            (std::vector<std::string>{kInstallBanner, kUninstallBanner}));
}

TEST_F(SetupLogTest, TextWithPerCentSignsIsLoggedAsItStands) {
  HooksLibrary library;
  TestSession session;
  const std::wstring folder = FreshFolder(L"zvu hooks 100%d %s %n") ;
  session.SetProperty(L"TARGETDIR", folder);
  EXPECT_EQ(library.Session("StartVuroUpdate", session.get()), 1603u);
  const std::vector<std::string> messages = LogMessagesFrom(0);
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ(messages[0], "StartVuroUpdate\n");
  std::string commandLine = "\"";
  commandLine += Narrow(folder);
  commandLine += "VuroUpdateIISQuillet.exe\"\n";
  EXPECT_EQ(messages[1], commandLine);
  EXPECT_EQ(messages[2], "command failed\t last error 2\n");
}

TEST_F(SetupLogTest, WritersOnTwoThreadsLeaveWholeEntries) {
  HooksLibrary library;
  constexpr int kEach = 200;
  auto write = [&](const char* action) {
    for (int i = 0; i < kEach; ++i) library.Session(action, 0);
  };
  std::thread first(write, "InstallStarted");
  std::thread second(write, "UnInstallStarted");
  first.join();
  second.join();
  const std::vector<std::string> messages = LogMessagesFrom(0);
  ASSERT_EQ(messages.size(), 2u * kEach);
  EXPECT_EQ(std::count(messages.begin(), messages.end(), kInstallBanner), kEach);
  EXPECT_EQ(std::count(messages.begin(), messages.end(), kUninstallBanner), kEach);
}

TEST_F(SetupLogTest, WithoutASystemDriveNothingIsLogged) {
  wchar_t drive[MAX_PATH] = {};
  GetEnvironmentVariableW(L"SYSTEMDRIVE", drive, MAX_PATH);
  const std::wstring current = FreshFolder(L"zvu-hooks-no-drive");
  wchar_t saved[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, saved);
  SetCurrentDirectoryW(current.c_str());
  SetEnvironmentVariableW(L"SYSTEMDRIVE", nullptr);
  {
    HooksLibrary library;
    EXPECT_EQ(library.Session("InstallStarted", 0), 0u);
  }
  SetEnvironmentVariableW(L"SYSTEMDRIVE", drive);
  SetCurrentDirectoryW(saved);
  EXPECT_FALSE(FileExists(LogPath()));
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((current + L"*IISQuillet*").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a log in the current directory";
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

TEST(HooksFrame, EmptyFolderPropertiesMeanNothingToDo) {
  HooksLibrary library;
  TestSession session;
  ASSERT_NE(session.get(), 0u);
  session.SetProperty(L"TARGETDIR", L"");
  session.SetProperty(L"SystemFolder", L"");
  const size_t before = LogSize();
  EXPECT_EQ(library.Session("StartVuroUpdate", session.get()), 0u);
  EXPECT_EQ(library.Session("DeleteInstallFiles", session.get()), 0u);
  EXPECT_EQ(library.Session("StopW3SVC", session.get()), 0u);
  EXPECT_EQ(library.Session("StartW3SVC", session.get()), 0u);
  EXPECT_EQ(library.Session("StartW3Progress", session.get()), 0u);
  EXPECT_EQ(library.Session("UninstallSnapin", session.get()), 0u);
  EXPECT_EQ(library.Session("DeleteAllForUninstall", session.get()), 0u);
  // Only the actions' own names: no command line was run.
  EXPECT_EQ(LogMessagesFrom(before),
            (std::vector<std::string>{"StartVuroUpdate\n", "DeleteInstallFiles\n",
                                      "UninstallSnapin\n"}));
  EXPECT_TRUE(session.Progress().empty());
}

TEST(HooksFrame, AnUnreadablePropertyFailsTheAction) {
  HooksLibrary library;
  // Not a session handle: every property read fails.
  const MSIHANDLE notASession = 0;
  EXPECT_EQ(library.Session("StartVuroUpdate", notASession), 1603u);
  EXPECT_EQ(library.Session("DeleteInstallFiles", notASession), 1603u);
  EXPECT_EQ(library.Session("StopW3SVC", notASession), 1603u);
  EXPECT_EQ(library.Session("StartW3SVC", notASession), 1603u);
  EXPECT_EQ(library.Session("StartW3Progress", notASession), 1603u);
  EXPECT_EQ(library.Session("UninstallSnapin", notASession), 1603u);
  EXPECT_EQ(library.Session("DeleteAllForUninstall", notASession), 1603u);
}

TEST(HooksFrame, ActionTextGoesToTheEngineAsAnActionStart) {
  HooksLibrary library;
  TestSession session;
  session.SetProperty(L"TARGETDIR", L"");
  library.Session("StartVuroUpdate", session.get());
  const std::vector<EngineMessage> messages = session.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].type, INSTALLMESSAGE_ACTIONSTART);
  ASSERT_GE(messages[0].fields.size(), 2u);
  EXPECT_EQ(messages[0].fields[0], L"MyCustomAction");
  EXPECT_EQ(messages[0].fields[1], L"Starting Vuro Update.");
}

}  // namespace
}  // namespace zvu::test::hooks
