// The actions inside Wine's real installer engine: msiexec installs and
// removes the test packages, whose custom actions come from MsiHooks.dll.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "hooks_test_support.h"

namespace zvu::test::hooks {
namespace {

const wchar_t kProductKey[] = L"Software\\Zelko\\IISQuillet";
const wchar_t kProbeKey[] = L"Software\\ZvuTest\\HooksPackage";

// Runs Wine's msiexec with the arguments and returns its exit code.
DWORD Msiexec(const std::wstring& arguments) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring program = std::wstring(system) + L"\\msiexec.exe";
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &started)) {
    return 0xFFFFFFFFu;
  }
  CloseHandle(started.hThread);
  DWORD code = 0xFFFFFFFEu;
  if (WaitForSingleObject(started.hProcess, 120000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(started.hProcess, &code);
  }
  CloseHandle(started.hProcess);
  return code;
}

bool Contains(const std::vector<std::string>& messages, const std::string& message) {
  return std::find(messages.begin(), messages.end(), message) != messages.end();
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class PackageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(InstallW3svcStandIn()); }
  static void TearDownTestSuite() { RemoveW3svcStandIn(); }
  void TearDown() override {
    Msiexec(L"/x \"" + HooksPackagesDir() + L"hooks-probe.msi\" /qn");
    DeleteMachineKey(kProductKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Zelko");  // only when empty: other tests keep products there
    DeleteMachineKey(kProbeKey);
    DeleteMachineKey(L"Software\\ZvuTest");
  }
};

TEST_F(PackageTest, InstallAndRemoveRunTheActionsInTheEngine) {
  SetMachineString(kProductKey, L"local directory", L"C:\\Program Files\\IISQuillet");
  const std::wstring target = FreshFolder(L"zvu-hooks-package-target");
  WriteFileText(target + L"addfilter.vbs", "script");
  ASSERT_TRUE(StartW3svcDirectly());

  size_t logStart = LogSize();
  ASSERT_EQ(Msiexec(L"/i \"" + HooksPackagesDir() + L"hooks-probe.msi\" /qn TARGETDIR=\"" +
                    target + L"\""),
            0u);
  std::vector<std::string> messages = LogMessagesFrom(logStart);
  ASSERT_GE(messages.size(), 5u);
  EXPECT_EQ(messages[0], "*******************INSTALLATION STARTED*********************\n");
  EXPECT_EQ(messages[1], "CheckPrevVersion\n");
  EXPECT_TRUE(EndsWith(messages[2], "\\net.exe\" stop w3svc\n")) << messages[2];
  EXPECT_EQ(messages[3], "net.exe exit code 0\n");
  EXPECT_TRUE(EndsWith(messages[4], "\\net.exe\" start w3svc\n")) << messages[4];
  EXPECT_EQ(messages[5], "net.exe exit code 0\n");
  EXPECT_TRUE(Contains(messages, "DeleteInstallFiles\n"));
  EXPECT_FALSE(FileExists(target + L"addfilter.vbs"));
  EXPECT_TRUE(ReachState(SERVICE_RUNNING, 5000));
  // Properties that CheckPrevVersion set, as the package wrote them.
  EXPECT_EQ(MachineString(kProbeKey, L"PrevVersion"), L"YES");
  EXPECT_EQ(MachineString(kProbeKey, L"PrevVersionText").rfind(L"NOTE: An older version", 0), 0u);

  logStart = LogSize();
  ASSERT_EQ(Msiexec(L"/x \"" + HooksPackagesDir() + L"hooks-probe.msi\" /qn"), 0u);
  messages = LogMessagesFrom(logStart);
  EXPECT_EQ(messages, std::vector<std::string>{
                          "*********************UNINSTALL STARTED*********************\n"});
  StopW3svcDirectly();
}

// Wine shows every property to a deferred action; Windows shows it only
// CustomActionData. The data names another folder than TARGETDIR, so the
// folder the action worked on tells which one it read.
TEST_F(PackageTest, DeferredActionTakesItsFolderFromCustomActionData) {
  const std::wstring target = FreshFolder(L"zvu-hooks-deferred-target");
  const std::wstring fromData = FreshFolder(L"zvu-hooks-deferred-data");
  WriteFileText(target + L"addfilter.vbs", "script");
  WriteFileText(fromData + L"addfilter.vbs", "script");
  ASSERT_TRUE(StartW3svcDirectly());
  const std::wstring install = L"/i \"" + HooksPackagesDir() + L"hooks-probe.msi\" /qn TARGETDIR=\"" +
                               target + L"\" ZVU_DEFERRED_DATA=\"";

  ASSERT_EQ(Msiexec(install + L"SystemFolder=C:\\;TARGETDIR=" + fromData + L"\""), 0u);
  EXPECT_FALSE(FileExists(fromData + L"addfilter.vbs"));
  EXPECT_TRUE(FileExists(target + L"addfilter.vbs"));
  ASSERT_EQ(Msiexec(L"/x \"" + HooksPackagesDir() + L"hooks-probe.msi\" /qn"), 0u);

  // Without the folder in the data the action has nothing to do, and says so.
  WriteFileText(fromData + L"addfilter.vbs", "script");
  const size_t logStart = LogSize();
  ASSERT_EQ(Msiexec(install + L"SystemFolder=" + fromData + L"\""), 0u);
  const std::vector<std::string> messages = LogMessagesFrom(logStart);
  const auto clean = std::find(messages.begin(), messages.end(), "DeleteInstallFiles\n");
  ASSERT_NE(clean, messages.end());
  ASSERT_NE(clean + 1, messages.end());
  EXPECT_EQ(clean[1],
            "deferred action: TARGETDIR is empty or missing in CustomActionData, nothing done\n");
  EXPECT_TRUE(FileExists(target + L"addfilter.vbs"));
  EXPECT_TRUE(FileExists(fromData + L"addfilter.vbs"));
  StopW3svcDirectly();
}

TEST_F(PackageTest, AFailingActionFailsTheInstallation) {
  const std::wstring target = FreshFolder(L"zvu-hooks-package-no-updater");
  const size_t logStart = LogSize();
  EXPECT_EQ(Msiexec(L"/i \"" + HooksPackagesDir() + L"hooks-failing.msi\" /qn TARGETDIR=\"" +
                    target + L"\""),
            1603u);
  const std::vector<std::string> messages = LogMessagesFrom(logStart);
  EXPECT_TRUE(Contains(messages, "StartVuroUpdate\n"));
  EXPECT_TRUE(Contains(messages, "command failed\t last error 2\n"));
  // The installation stopped before it wrote anything.
  bool written = true;
  MachineString(kProbeKey, L"PrevVersion", &written);
  EXPECT_FALSE(written);
}

}  // namespace
}  // namespace zvu::test::hooks
