#include "service_installer.h"

#include <cstdio>
#include <utility>

#include "unique_handle.h"
#include "service_texts.h"

namespace zvu {
namespace {

// One-entry dependency list, ended by two NULs.
constexpr char kDependencies[] = "RPCSS\0";

// A deleted service whose process still runs stays in the control manager
// until that process has ended; the stop request that /UnregServer sends
// ends it within moments.
constexpr DWORD kRemovalTimeoutMs = 30000;
constexpr DWORD kRemovalPollMs = 200;

// Rights on the service entry for bringing it up to date: its configuration,
// and SERVICE_START, which ChangeServiceConfig2 asks for when the failure
// actions restart the service.
constexpr DWORD kConfigureRights = SERVICE_CHANGE_CONFIG | SERVICE_QUERY_CONFIG | SERVICE_START;

// A created entry is opened once more, an entry marked for deletion is waited
// for once: three rounds cover both and end a race that keeps repeating.
constexpr int kInstallRounds = 3;

}  // namespace

ServiceInstaller::ServiceInstaller(std::string serviceName, const FailureNotice& notice,
                                   const EventReporter& events)
    : serviceName_(std::move(serviceName)), notice_(notice), events_(events) {}

void ServiceInstaller::ShowError(const char* text) const { notice_.Tell(text); }

bool ServiceInstaller::IsInstalled() const {
  UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  UniqueServiceHandle service(
      OpenServiceA(manager.get(), serviceName_.c_str(), SERVICE_QUERY_CONFIG));
  return service.valid();
}

bool ServiceInstaller::AwaitRemoval() const {
  const DWORD started = GetTickCount();
  while (IsInstalled()) {
    if (GetTickCount() - started >= kRemovalTimeoutMs) return false;
    Sleep(kRemovalPollMs);
  }
  return true;
}

void ServiceInstaller::ReportSettingRefused(const char* setting) const {
  const DWORD error = GetLastError();
  char text[160];
  std::snprintf(text, sizeof text, texts::kEventServiceSettingRefused, setting,
                static_cast<unsigned long>(error));
  events_.Report(text);
}

void ServiceInstaller::ApplySettings(SC_HANDLE service, bool created) const {
  // ChangeServiceConfig2 takes the structures as writable; it does not write.
  SERVICE_DESCRIPTIONA description{const_cast<char*>(texts::kServiceDescription)};
  if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &description)) {
    ReportSettingRefused(texts::kServiceSettingDescription);
  }
  // Recovery is the administrator's once the service exists: a repair or an
  // upgrade keeps what was chosen.
  if (created) {
    SC_ACTION actions[] = {{SC_ACTION_RESTART, kServiceRestartDelayMs},
                           {SC_ACTION_RESTART, kServiceRestartDelayMs},
                           {SC_ACTION_NONE, 0}};
    SERVICE_FAILURE_ACTIONSA recovery{};
    recovery.dwResetPeriod = kServiceFailureResetSeconds;
    recovery.cActions = static_cast<DWORD>(sizeof actions / sizeof actions[0]);
    recovery.lpsaActions = actions;
    if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &recovery)) {
      ReportSettingRefused(texts::kServiceSettingRecovery);
    }
  }
  SERVICE_SID_INFO sid{SERVICE_SID_TYPE_UNRESTRICTED};
  if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_SERVICE_SID_INFO, &sid)) {
    ReportSettingRefused(texts::kServiceSettingSidType);
  }
}

bool ServiceInstaller::Install() const {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  const std::string quotedPath = std::string("\"") + path + "\"";

  UniqueServiceHandle manager(
      OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (!manager) {
    ShowError(texts::kBoxCannotOpenServiceManager);
    return false;
  }

  for (int round = 0; round < kInstallRounds; ++round) {
    UniqueServiceHandle service(
        OpenServiceA(manager.get(), serviceName_.c_str(), kConfigureRights));
    if (service) {
      // In place: only what this program needs changes; the dependencies
      // stay as they are (an entry of ours has "RPCSS" unless an
      // administrator chose otherwise).
      if (ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                               SERVICE_NO_CHANGE, quotedPath.c_str(), nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr)) {
        ApplySettings(service.get(), false);
        return true;
      }
      const DWORD error = GetLastError();
      service.reset();
      if (error != ERROR_SERVICE_MARKED_FOR_DELETE) {
        ShowError(texts::kBoxCannotChangeService);
        return false;
      }
      if (!AwaitRemoval()) {
        ShowError(texts::kBoxCannotDeleteService);
        return false;
      }
      continue;
    }
    if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
      ShowError(texts::kBoxCannotOpenService);
      return false;
    }

    service.reset(CreateServiceA(manager.get(), serviceName_.c_str(), serviceName_.c_str(),
                                 kConfigureRights, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                 SERVICE_ERROR_NORMAL, quotedPath.c_str(), nullptr, nullptr,
                                 kDependencies, nullptr, nullptr));
    if (service) {
      ApplySettings(service.get(), true);
      return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_MARKED_FOR_DELETE) {
      if (!AwaitRemoval()) {
        ShowError(texts::kBoxCannotDeleteService);
        return false;
      }
      continue;
    }
    // Created by someone else since it was looked for: the next round opens it.
    if (error != ERROR_SERVICE_EXISTS) break;
  }
  ShowError(texts::kBoxCannotStartService);
  return false;
}

bool ServiceInstaller::Uninstall() const {
  if (!IsInstalled()) return true;

  UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    ShowError(texts::kBoxCannotOpenServiceManager);
    return false;
  }
  UniqueServiceHandle service(
      OpenServiceA(manager.get(), serviceName_.c_str(), SERVICE_STOP | DELETE));
  if (!service) {
    ShowError(texts::kBoxCannotOpenService);
    return false;
  }

  SERVICE_STATUS status{};
  if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    const DWORD error = GetLastError();
    const bool notRunning = error == ERROR_SERVICE_NOT_ACTIVE;
    // A service that is starting or already stopping cannot take the
    // request (ERROR_SERVICE_CANNOT_ACCEPT_CTRL); it is deleted all the same
    // and the control manager drops it once its process has ended.
    const bool alreadyStopping = error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL ||
                                 (error == ERROR_INVALID_SERVICE_CONTROL &&
                                  status.dwCurrentState == SERVICE_STOP_PENDING);
    if (!notRunning && !alreadyStopping) ShowError(texts::kBoxCannotStopService);
  }

  if (!DeleteService(service.get())) {
    ShowError(texts::kBoxCannotDeleteService);
    return false;
  }
  return true;
}

}  // namespace zvu
