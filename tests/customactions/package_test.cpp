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
  EXPECT_TRUE(EndsWith(messages[3], "\\net.exe\" start w3svc\n")) << messages[3];
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
