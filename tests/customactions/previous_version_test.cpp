// Clean-up of an older installation, untracked files and the snap-in.
#include <gtest/gtest.h>

#include <windows.h>

#include "hooks_test_support.h"

namespace zvu::test::hooks {
namespace {

const wchar_t kProductKey[] = L"Software\\Zelko\\IISQuillet";
const wchar_t kOldUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"{A9B504BA-BEAB-4F33-9CC2-E202486B39DD}";
const wchar_t kSnapinMarkerKey[] = L"Software\\ZvuTest\\Snapin";

const wchar_t* const kOldFiles[] = {
    L"addfilter.vbs", L"EULA.rtf",         L"icon_lock3.ico", L"IISQuillet.chm",
    L"installer.bmp", L"VuroUpdateIISQuillet.exe", L"remfilter.vbs", L"RestartW3SVC.exe",
    L"userline.exe",  L"install.exe",      L"uninstall.exe",  L"IISQuilletSnapin.dll",
    L"IISQuilletFilter.dll"};

class CleanUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session_.get());
    DeleteMachineKey(kProductKey);
    // A system folder of the test's own, holding the product's two files.
    system_ = FreshFolder(L"zvu-hooks-system");
    CreateDirectoryW((system_ + L"inetsrv").c_str(), nullptr);
    WriteFileText(system_ + L"IISQuilletSnapin.dll", "snap-in");
    WriteFileText(system_ + L"inetsrv\\IISQuilletFilter.dll", "filter");
    WriteFileText(system_ + L"other.dll", "not ours");
    session_.SetProperty(L"SystemFolder", system_);
  }
  void TearDown() override {
    for (REGSAM view : {REGSAM{0}, REGSAM{KEY_WOW64_32KEY}}) {
      DeleteMachineKey(kProductKey, view);
      // Only when it is empty (no other product).
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Zelko", view, 0);
    }
  }
  bool SystemFilesPresent() {
    return FileExists(system_ + L"IISQuilletSnapin.dll") &&
           FileExists(system_ + L"inetsrv\\IISQuilletFilter.dll");
  }

  HooksLibrary library_;
  TestSession session_;
  std::wstring system_;
};

TEST_F(CleanUpTest, CheckPrevVersionSetsTheNoteOnlyForAnOlderInstallation) {
  size_t logStart = LogSize();
  EXPECT_EQ(library_.Session("CheckPrevVersion", session_.get()), 0u);
  EXPECT_EQ(session_.Property(L"PrevVersion"), L"");
  EXPECT_EQ(session_.Property(L"PrevVersionText"), L"");
  EXPECT_EQ(LogMessagesFrom(logStart), std::vector<std::string>{"CheckPrevVersion\n"});

  SetMachineString(kProductKey, L"local directory", L"");
  EXPECT_EQ(library_.Session("CheckPrevVersion", session_.get()), 0u);
  EXPECT_EQ(session_.Property(L"PrevVersion"), L"");

  DWORD notText = 1;
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, kProductKey, L"local directory", REG_DWORD, &notText,
                  sizeof(notText));
  EXPECT_EQ(library_.Session("CheckPrevVersion", session_.get()), 0u);
  EXPECT_EQ(session_.Property(L"PrevVersion"), L"");

  SetMachineString(kProductKey, L"local directory", L"C:\\Program Files\\IISQuillet");
  EXPECT_EQ(library_.Session("CheckPrevVersion", session_.get()), 0u);
  EXPECT_EQ(session_.Property(L"PrevVersion"), L"YES");
  EXPECT_EQ(session_.Property(L"PrevVersionText"),
            L"NOTE: An older version of IISQuillet is detected and will be uninstalled. To avoid "
            L"unauthorized access, IIS will be stopped first.");
}

TEST_F(CleanUpTest, DeletePrevFilesRemovesTheListedFilesAndNothingElse) {
  const std::wstring parent = FreshFolder(L"zvu-hooks-old");
  const std::wstring old = parent + L"IISQuillet";
  CreateDirectoryW(old.c_str(), nullptr);
  for (const wchar_t* name : kOldFiles) WriteFileText(old + L"\\" + name, "old");
  WriteFileText(old + L"\\keep.txt", "the user's");
  CreateDirectoryW((old + L"\\ErrorDoc").c_str(), nullptr);
  WriteFileText(old + L"\\ErrorDoc\\404.htm", "page");
  WriteFileText(parent + L"addfilter.vbs", "outside");
  SetMachineString(kProductKey, L"local directory", old);

  const size_t logStart = LogSize();
  EXPECT_EQ(library_.Session("DeletePrevFiles", session_.get()), 0u);
  for (const wchar_t* name : kOldFiles) EXPECT_FALSE(FileExists(old + L"\\" + name)) << Narrow(name);
  EXPECT_TRUE(FileExists(old + L"\\keep.txt"));
  EXPECT_TRUE(FileExists(old + L"\\ErrorDoc\\404.htm"));
  EXPECT_TRUE(FileExists(parent + L"addfilter.vbs"));
  EXPECT_FALSE(SystemFilesPresent());
  EXPECT_TRUE(FileExists(system_ + L"other.dll"));
  EXPECT_EQ(LogMessagesFrom(logStart), std::vector<std::string>{"DeletePrevFiles\n"});
  EXPECT_EQ(session_.ActionTexts(),
            std::vector<std::wstring>{L"Deleting files from previous installation."});
}

TEST_F(CleanUpTest, DeletePrevFilesRemovesTheDirectoryOnceItIsEmpty) {
  const std::wstring old = FreshFolder(L"zvu-hooks-old-only-ours");
  for (const wchar_t* name : kOldFiles) WriteFileText(old + name, "old");
  CreateDirectoryW((old + L"ErrorDoc").c_str(), nullptr);
  // With its trailing backslash, and stored without a terminating zero.
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, kProductKey, L"local directory", REG_SZ, old.c_str(),
                  static_cast<DWORD>(old.size() * sizeof(wchar_t)));
  EXPECT_EQ(library_.Session("DeletePrevFiles", session_.get()), 0u);
  EXPECT_FALSE(FileExists(old));
}

TEST_F(CleanUpTest, DeletePrevFilesWithoutAnOlderInstallationTouchesNothing) {
  EXPECT_EQ(library_.Session("DeletePrevFiles", session_.get()), 0u);
  EXPECT_TRUE(SystemFilesPresent());
}

TEST_F(CleanUpTest, DeletePrevFilesIgnoresARelativeDirectory) {
  const std::wstring current = FreshFolder(L"zvu-hooks-current");
  CreateDirectoryW((current + L"old").c_str(), nullptr);
  WriteFileText(current + L"old\\install.exe", "not the old product's");
  wchar_t saved[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, saved);
  SetCurrentDirectoryW(current.c_str());
  SetMachineString(kProductKey, L"local directory", L"old");
  EXPECT_EQ(library_.Session("DeletePrevFiles", session_.get()), 0u);
  SetCurrentDirectoryW(saved);
  EXPECT_TRUE(FileExists(current + L"old\\install.exe"));
  EXPECT_FALSE(SystemFilesPresent());
}

TEST_F(CleanUpTest, DeletePrevRegEntriesMakesTheOldUninstallQuiet) {
  DeleteMachineKey(kOldUninstallKey);
  const wchar_t kCommand[] = L"MsiExec.exe /X{A9B504BA-BEAB-4F33-9CC2-E202486B39DD} /quiet";
  const size_t logStart = LogSize();
  EXPECT_EQ(library_.Session("DeletePrevRegEntries", 0), 0u);
  EXPECT_EQ(MachineString(kOldUninstallKey, L"UninstallString"), kCommand);
  EXPECT_EQ(LogMessagesFrom(logStart), std::vector<std::string>{"DeletePrevRegEntries\n"});

  SetMachineString(kOldUninstallKey, L"UninstallString", L"C:\\old\\uninstall.exe");
  SetMachineString(kOldUninstallKey, L"DisplayName", L"IISQuillet");
  EXPECT_EQ(library_.Session("DeletePrevRegEntries", 0), 0u);
  EXPECT_EQ(MachineString(kOldUninstallKey, L"UninstallString"), kCommand);
  EXPECT_EQ(MachineString(kOldUninstallKey, L"DisplayName"), L"IISQuillet");
  // Stored as a plain string whose length counts the terminating zero.
  DWORD type = 0, size = 0;
  RegGetValueW(HKEY_LOCAL_MACHINE, kOldUninstallKey, L"UninstallString", RRF_RT_ANY, &type,
               nullptr, &size);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, sizeof(kCommand));
  DeleteMachineKey(kOldUninstallKey);
}

// A 32-bit older setup on 64-bit Windows wrote its keys into the 32-bit
// registry view; the 64-bit view's key, where there is one, comes first.
TEST_F(CleanUpTest, OlderSetupInThe32BitRegistryViewIsFoundAndItsFilesDeleted) {
  const std::wstring old = FreshFolder(L"zvu-hooks-old-wow");
  for (const wchar_t* name : kOldFiles) WriteFileText(old + name, "old");
  ASSERT_TRUE(SetMachineString(kProductKey, L"local directory", old, KEY_WOW64_32KEY));
  ASSERT_EQ(MachineString(kProductKey, L"local directory"), L"") << "the registry views are not apart";

  EXPECT_EQ(library_.Session("CheckPrevVersion", session_.get()), 0u);
  EXPECT_EQ(session_.Property(L"PrevVersion"), L"YES");
  EXPECT_EQ(library_.Session("DeletePrevFiles", session_.get()), 0u);
  EXPECT_FALSE(FileExists(old));
  EXPECT_FALSE(SystemFilesPresent());

  session_.SetProperty(L"PrevVersion", L"");
  ASSERT_TRUE(SetMachineString(kProductKey, L"other", L"x"));  // a 64-bit key without the value
  EXPECT_EQ(library_.Session("CheckPrevVersion", session_.get()), 0u);
  EXPECT_EQ(session_.Property(L"PrevVersion"), L"");
}

TEST_F(CleanUpTest, DeletePrevRegEntriesChangesTheOldEntryInTheViewItIsIn) {
  const wchar_t kCommand[] = L"MsiExec.exe /X{A9B504BA-BEAB-4F33-9CC2-E202486B39DD} /quiet";
  const REGSAM k32 = KEY_WOW64_32KEY;
  auto clear = [&] {
    DeleteMachineKey(kOldUninstallKey);
    DeleteMachineKey(kOldUninstallKey, k32);
  };
  clear();
  ASSERT_TRUE(SetMachineString(kOldUninstallKey, L"UninstallString", L"C:\\old\\uninstall.exe", k32));
  EXPECT_EQ(library_.Session("DeletePrevRegEntries", 0), 0u);
  EXPECT_EQ(MachineString(kOldUninstallKey, L"UninstallString", nullptr, k32), kCommand);
  bool made64 = true;
  MachineString(kOldUninstallKey, L"UninstallString", &made64);
  EXPECT_FALSE(made64) << "an entry was made in the 64-bit view";

  // In both views the 64-bit one is changed, the 32-bit one left as it is.
  ASSERT_TRUE(SetMachineString(kOldUninstallKey, L"UninstallString", L"C:\\old\\uninstall.exe"));
  ASSERT_TRUE(SetMachineString(kOldUninstallKey, L"UninstallString", L"C:\\old\\uninstall.exe", k32));
  EXPECT_EQ(library_.Session("DeletePrevRegEntries", 0), 0u);
  EXPECT_EQ(MachineString(kOldUninstallKey, L"UninstallString"), kCommand);
  EXPECT_EQ(MachineString(kOldUninstallKey, L"UninstallString", nullptr, k32),
            L"C:\\old\\uninstall.exe");
  clear();
}

TEST_F(CleanUpTest, DeleteInstallFilesRemovesOnlyTheFilterScript) {
  const std::wstring target = FreshFolder(L"zvu-hooks-install-target");
  WriteFileText(target + L"addfilter.vbs", "script");
  WriteFileText(target + L"remfilter.vbs", "script");
  session_.SetProperty(L"TARGETDIR", target);
  const size_t logStart = LogSize();
  EXPECT_EQ(library_.Session("DeleteInstallFiles", session_.get()), 0u);
  EXPECT_FALSE(FileExists(target + L"addfilter.vbs"));
  EXPECT_TRUE(FileExists(target + L"remfilter.vbs"));
  EXPECT_EQ(library_.Session("DeleteInstallFiles", session_.get()), 0u);
  EXPECT_EQ(LogMessagesFrom(logStart),
            (std::vector<std::string>{"DeleteInstallFiles\n", "DeleteInstallFiles\n"}));
}

TEST_F(CleanUpTest, DeleteAllForUninstallRemovesTheSystemFilesSilently) {
  const size_t logStart = LogSize();
  EXPECT_EQ(library_.Session("DeleteAllForUninstall", session_.get()), 0u);
  EXPECT_FALSE(FileExists(system_ + L"IISQuilletSnapin.dll"));
  EXPECT_FALSE(FileExists(system_ + L"inetsrv\\IISQuilletFilter.dll"));
  EXPECT_TRUE(FileExists(system_ + L"other.dll"));
  EXPECT_TRUE(LogMessagesFrom(logStart).empty());
}

class SnapinTest : public CleanUpTest {
 protected:
  void SetUp() override {
    CleanUpTest::SetUp();
    ASSERT_TRUE(CopyTo(SnapinStandInDll(), system_ + L"IISQuilletSnapin.dll"));
    DeleteMachineKey(kSnapinMarkerKey);
  }
  void TearDown() override {
    DeleteMachineKey(kSnapinMarkerKey);
    DeleteMachineKey(L"Software\\ZvuTest");
    CleanUpTest::TearDown();
  }
  bool Registered() {
    bool present = false;
    MachineString(kSnapinMarkerKey, L"registered", &present);
    return present;
  }
};

TEST_F(SnapinTest, InstallAndUninstallRunRegsvr32OnTheSnapin) {
  const std::string folder = Narrow(system_);
  size_t logStart = LogSize();
  EXPECT_EQ(library_.SessionAndNarrow("InstallSnapin", 0, folder.c_str()), 0u);
  EXPECT_TRUE(Registered());
  EXPECT_EQ(LogMessagesFrom(logStart),
            (std::vector<std::string>{"InstallSnapin\n",
                                      "regsvr32 /s \"" + folder + "IISQuilletSnapin.dll\"\n"}));

  logStart = LogSize();
  EXPECT_EQ(library_.Session("UninstallSnapin", session_.get()), 0u);
  EXPECT_FALSE(Registered());
  EXPECT_EQ(LogMessagesFrom(logStart),
            (std::vector<std::string>{"UninstallSnapin\n",
                                      "regsvr32 /u /s \"" + folder + "IISQuilletSnapin.dll\"\n"}));
  EXPECT_EQ(session_.ActionTexts(), std::vector<std::wstring>{L"Uninstalling snapin."});
}

TEST_F(SnapinTest, RegistrationProgramIsNeverTakenFromTheCurrentDirectory) {
  const std::wstring current = FreshFolder(L"zvu-hooks-planted");
  ASSERT_TRUE(CopyTo(SleeperExe(), current + L"regsvr32.exe"));
  wchar_t saved[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, saved);
  SetCurrentDirectoryW(current.c_str());
  const std::string folder = Narrow(system_);
  EXPECT_EQ(library_.SessionAndNarrow("InstallSnapin", 0, folder.c_str()), 0u);
  EXPECT_TRUE(Registered());
  EXPECT_EQ(library_.Session("UninstallSnapin", session_.get()), 0u);
  SetCurrentDirectoryW(saved);
  EXPECT_FALSE(Registered());
  EXPECT_FALSE(FileExists(current + L"regsvr32.exe.ran"));
  QuitSleepers();
}

TEST_F(SnapinTest, FolderWithoutTrailingBackslashStillSucceedsButRegistersNothing) {
  std::string folder = Narrow(system_);
  folder.pop_back();
  EXPECT_EQ(library_.SessionAndNarrow("InstallSnapin", 0, folder.c_str()), 0u);
  EXPECT_FALSE(Registered());
  const size_t logStart = LogSize();
  EXPECT_EQ(library_.SessionAndNarrow("InstallSnapin", 0, ""), 0u);
  EXPECT_EQ(library_.SessionAndNarrow("InstallSnapin", 0, nullptr), 0u);
  EXPECT_EQ(LogMessagesFrom(logStart),
            (std::vector<std::string>{"InstallSnapin\n", "InstallSnapin\n"}));
}

}  // namespace
}  // namespace zvu::test::hooks
