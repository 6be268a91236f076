#include "service_installer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "event_reporter.h"
#include "failure_notice.h"
#include "service_texts.h"
#include "unique_handle.h"
#include "wait_until.h"

namespace {

using zvu::EventReporter;
using zvu::FailureNotice;
using zvu::ServiceInstaller;
using zvu::UniqueServiceHandle;
using zvu::test::WaitUntil;

// A service of its own: the test program itself is its binary.
constexpr char kName[] = "ZvuInstallerTest";
constexpr char kKey[] = "System\\CurrentControlSet\\Services\\ZvuInstallerTest";

bool Invisible() { return false; }

std::string QuotedOwnPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string("\"") + path + "\"";
}

UniqueServiceHandle OpenTestService(DWORD rights) {
  UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return UniqueServiceHandle();
  return UniqueServiceHandle(OpenServiceA(manager.get(), kName, rights));
}

struct Config {
  DWORD type = 0;
  DWORD start = 0;
  DWORD errorControl = 0;
  std::string path;
  std::string account;
};

std::vector<std::string> MultiString(const char* list) {
  std::vector<std::string> names;
  for (const char* p = list; p && *p; p += std::strlen(p) + 1) names.emplace_back(p);
  return names;
}

std::optional<Config> ReadConfig() {
  UniqueServiceHandle service = OpenTestService(SERVICE_QUERY_CONFIG);
  if (!service) return std::nullopt;
  std::vector<BYTE> buffer(8192);
  DWORD needed = 0;
  if (!QueryServiceConfigA(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                           static_cast<DWORD>(buffer.size()), &needed)) {
    return std::nullopt;
  }
  const auto* raw = reinterpret_cast<const QUERY_SERVICE_CONFIGA*>(buffer.data());
  return Config{raw->dwServiceType, raw->dwStartType, raw->dwErrorControl,
                raw->lpBinaryPathName ? raw->lpBinaryPathName : "",
                raw->lpServiceStartName ? raw->lpServiceStartName : ""};
}

// One level of QueryServiceConfig2; nothing where the system does not answer
// that level (Wine keeps no recovery or SID type).
std::optional<std::vector<BYTE>> ReadConfig2(DWORD level) {
  UniqueServiceHandle service = OpenTestService(SERVICE_QUERY_CONFIG);
  if (!service) return std::nullopt;
  std::vector<BYTE> buffer(8192);
  DWORD needed = 0;
  if (QueryServiceConfig2A(service.get(), level, buffer.data(), static_cast<DWORD>(buffer.size()),
                           &needed)) {
    return buffer;
  }
  const DWORD error = GetLastError();
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_LEVEL)) << "level " << level;
  std::printf("# level %lu of the configuration is not answered here\n",
              static_cast<unsigned long>(level));
  return std::nullopt;
}

void SetAdministratorValue(const char* value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  RegSetValueExA(key, "ZvuAdministratorNote", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                 static_cast<DWORD>(std::strlen(value) + 1));
  RegCloseKey(key);
}

// The dependencies as the control manager keeps them in the entry's key
// (Wine's QueryServiceConfig leaves lpDependencies empty).
std::vector<std::string> Dependencies() {
  char value[256] = {};
  DWORD size = sizeof value - 2;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kKey, "DependOnService", RRF_RT_REG_MULTI_SZ, nullptr, value,
                   &size) != ERROR_SUCCESS) {
    return {};
  }
  return MultiString(value);
}

std::string AdministratorValue() {
  char value[64] = {};
  DWORD size = sizeof value;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kKey, "ZvuAdministratorNote", RRF_RT_REG_SZ, nullptr, value,
                   &size) != ERROR_SUCCESS) {
    return {};
  }
  return value;
}

class ServiceInstallerTest : public testing::Test {
 protected:
  ServiceInstallerTest() : events_(kName), notice_(kName, events_, &Invisible),
                           installer_(kName, notice_, events_) {
    events_.SetPrintToConsole(true);
  }
  // Each test starts and ends without the service (the control manager drops
  // a deleted one once no handle to it is open).
  void SetUp() override { ASSERT_TRUE(RemoveService()); }
  void TearDown() override { EXPECT_TRUE(RemoveService()); }
  bool RemoveService() {
    return installer_.Uninstall() && WaitUntil([&] { return !installer_.IsInstalled(); });
  }

  // Install, with what it reported.
  bool Install(std::string* reported) {
    testing::internal::CaptureStdout();
    const bool installed = installer_.Install();
    *reported = testing::internal::GetCapturedStdout();
    return installed;
  }

  EventReporter events_;
  FailureNotice notice_;
  ServiceInstaller installer_;
};

std::string Refused(const char* setting) {
  return std::string("Service setting not applied: ") + setting + " Err:";
}

// Every setting is either read back as written or, where the system refuses
// it, reported by name; Windows keeps all of them.
TEST_F(ServiceInstallerTest, NewServiceGetsItsEntryDescriptionRecoveryAndSidType) {
  std::string reported;
  ASSERT_TRUE(Install(&reported));
  const std::optional<Config> config = ReadConfig();
  ASSERT_TRUE(config);
  EXPECT_EQ(config->type, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(config->start, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(config->errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(config->path, QuotedOwnPath());
  EXPECT_EQ(config->account, "LocalSystem");

  if (const auto data = ReadConfig2(SERVICE_CONFIG_DESCRIPTION)) {
    const auto* description = reinterpret_cast<const SERVICE_DESCRIPTIONA*>(data->data());
    ASSERT_NE(description->lpDescription, nullptr);
    EXPECT_STREQ(description->lpDescription, zvu::texts::kServiceDescription);
  } else {
    EXPECT_NE(reported.find(Refused(zvu::texts::kServiceSettingDescription)), std::string::npos);
  }
  if (const auto data = ReadConfig2(SERVICE_CONFIG_FAILURE_ACTIONS)) {
    const auto* recovery = reinterpret_cast<const SERVICE_FAILURE_ACTIONSA*>(data->data());
    EXPECT_EQ(recovery->dwResetPeriod, zvu::kServiceFailureResetSeconds);
    ASSERT_EQ(recovery->cActions, 3u);
    EXPECT_EQ(recovery->lpsaActions[0].Type, SC_ACTION_RESTART);
    EXPECT_EQ(recovery->lpsaActions[0].Delay, zvu::kServiceRestartDelayMs);
    EXPECT_EQ(recovery->lpsaActions[1].Type, SC_ACTION_RESTART);
    EXPECT_EQ(recovery->lpsaActions[1].Delay, zvu::kServiceRestartDelayMs);
    EXPECT_EQ(recovery->lpsaActions[2].Type, SC_ACTION_NONE);
  }
  if (const auto data = ReadConfig2(SERVICE_CONFIG_SERVICE_SID_INFO)) {
    EXPECT_EQ(reinterpret_cast<const SERVICE_SID_INFO*>(data->data())->dwServiceSidType,
              static_cast<DWORD>(SERVICE_SID_TYPE_UNRESTRICTED));
  } else {
    EXPECT_NE(reported.find(Refused(zvu::texts::kServiceSettingSidType)), std::string::npos)
        << reported;
  }
  // No list of required privileges: the installers the service starts
  // inherit its token and keep every privilege of local system.
  if (const auto data = ReadConfig2(SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO)) {
    const auto* privileges =
        reinterpret_cast<const SERVICE_REQUIRED_PRIVILEGES_INFOA*>(data->data());
    EXPECT_TRUE(MultiString(privileges->pmszRequiredPrivileges).empty());
  }
  EXPECT_EQ(Dependencies(), std::vector<std::string>{"RPCSS"});
}

// A repair or an upgrade runs /Service over an existing entry: the entry is
// the same one afterwards (a value only it holds is still there), points at
// this program again, and keeps the start type, error control, dependencies
// and recovery an administrator chose.
TEST_F(ServiceInstallerTest, ExistingServiceIsUpdatedInPlaceAndKeepsTheAdministratorsChoices) {
  std::string reported;
  ASSERT_TRUE(Install(&reported));
  {
    UniqueServiceHandle service = OpenTestService(SERVICE_CHANGE_CONFIG | SERVICE_START);
    ASSERT_TRUE(service);
    ASSERT_TRUE(ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, SERVICE_DEMAND_START,
                                     SERVICE_ERROR_IGNORE, "\"C:\\Old Place\\ZelkoVuroUpdate.exe\"",
                                     nullptr, nullptr, "RPCSS\0Tcpip\0", nullptr, nullptr,
                                     nullptr));
    SC_ACTION restartOnce[] = {{SC_ACTION_RESTART, 5000}};
    SERVICE_FAILURE_ACTIONSA recovery{};
    recovery.dwResetPeriod = 3600;
    recovery.cActions = 1;
    recovery.lpsaActions = restartOnce;
    ASSERT_TRUE(ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &recovery));
  }
  SetAdministratorValue("kept");
  const std::vector<std::string> chosen = Dependencies();

  ASSERT_TRUE(Install(&reported));
  const std::optional<Config> config = ReadConfig();
  ASSERT_TRUE(config);
  EXPECT_EQ(AdministratorValue(), "kept") << "the entry was deleted and created anew";
  EXPECT_EQ(config->path, QuotedOwnPath());
  EXPECT_EQ(config->start, static_cast<DWORD>(SERVICE_DEMAND_START));
  EXPECT_EQ(config->errorControl, static_cast<DWORD>(SERVICE_ERROR_IGNORE));
  // "NULL: no change" for the dependencies; Wine drops them instead, so
  // only a system that kept them through the update is held to it.
  if (const std::vector<std::string> kept = Dependencies(); !kept.empty()) {
    EXPECT_EQ(kept, chosen);
  } else {
    std::printf("# the entry's dependencies (%zu) were dropped by this system's update\n",
                chosen.size());
  }
  if (const auto data = ReadConfig2(SERVICE_CONFIG_FAILURE_ACTIONS)) {
    const auto* recovery = reinterpret_cast<const SERVICE_FAILURE_ACTIONSA*>(data->data());
    EXPECT_EQ(recovery->dwResetPeriod, 3600u);
    ASSERT_EQ(recovery->cActions, 1u);
    EXPECT_EQ(recovery->lpsaActions[0].Delay, 5000u);
  }
  if (const auto data = ReadConfig2(SERVICE_CONFIG_DESCRIPTION)) {
    const auto* description = reinterpret_cast<const SERVICE_DESCRIPTIONA*>(data->data());
    ASSERT_NE(description->lpDescription, nullptr);
    EXPECT_STREQ(description->lpDescription, zvu::texts::kServiceDescription);
  }
}

}  // namespace
