#include "service_installer.h"

#include <windows.h>

#include <utility>

#include "unique_handle.h"
#include "service_texts.h"

namespace zvu {
namespace {

// One-entry dependency list, ended by two NULs.
constexpr char kDependencies[] = "RPCSS\0";

// A deleted service whose process still runs stays in the control manager
// until that process has ended; the stop request sent on uninstall ends it
// within moments.
constexpr DWORD kRemovalTimeoutMs = 30000;
constexpr DWORD kRemovalPollMs = 200;

}  // namespace

ServiceInstaller::ServiceInstaller(std::string serviceName, const FailureNotice& notice)
    : serviceName_(std::move(serviceName)), notice_(notice) {}

void ServiceInstaller::ShowError(const char* text) const { notice_.Tell(text); }

bool ServiceInstaller::IsInstalled() const {
  UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return false;
  UniqueServiceHandle service(
      OpenServiceA(manager.get(), serviceName_.c_str(), SERVICE_QUERY_CONFIG));
  return service.valid();
}

bool ServiceInstaller::Install() const {
  if (IsInstalled()) return true;

  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  const std::string quotedPath = std::string("\"") + path + "\"";

  UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    ShowError(texts::kBoxCannotOpenServiceManager);
    return false;
  }
  UniqueServiceHandle service(CreateServiceA(
      manager.get(), serviceName_.c_str(), serviceName_.c_str(), SERVICE_ALL_ACCESS,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, quotedPath.c_str(),
      nullptr, nullptr, kDependencies, nullptr, nullptr));
  if (!service) {
    ShowError(texts::kBoxCannotStartService);
    return false;
  }
  return true;
}

bool ServiceInstaller::Uninstall(bool awaitRemoval) const {
  if (!IsInstalled()) return true;

  UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
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
    const bool alreadyStopping = error == ERROR_INVALID_SERVICE_CONTROL &&
                                 status.dwCurrentState == SERVICE_STOP_PENDING;
    if (!notRunning && !alreadyStopping) ShowError(texts::kBoxCannotStopService);
  }

  if (!DeleteService(service.get())) {
    ShowError(texts::kBoxCannotDeleteService);
    return false;
  }
  if (!awaitRemoval) return true;

  service.reset();
  manager.reset();
  const DWORD started = GetTickCount();
  while (IsInstalled()) {
    if (GetTickCount() - started >= kRemovalTimeoutMs) {
      ShowError(texts::kBoxCannotDeleteService);
      return false;
    }
    Sleep(kRemovalPollMs);
  }
  return true;
}

}  // namespace zvu
