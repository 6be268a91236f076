#include "service_installer.h"

#include <windows.h>

#include <utility>

#include "service_handle.h"

namespace zvu {
namespace {

// One-entry dependency list, ended by two NULs.
constexpr char kDependencies[] = "RPCSS\0";

constexpr int kMarkedForDeleteRetries = 60;
constexpr DWORD kMarkedForDeleteRetryMs = 250;

}  // namespace

ServiceInstaller::ServiceInstaller(std::string serviceName) : serviceName_(std::move(serviceName)) {}

void ServiceInstaller::ShowError(const char* text) const {
  MessageBoxA(nullptr, text, serviceName_.c_str(), MB_OK);
}

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
    ShowError("Could not open Service Manager");
    return false;
  }
  // A service that was just deleted while it ran stays "marked for delete"
  // until its process has ended; the stop request sent on uninstall ends it
  // within moments, so creating it anew is retried for a while.
  UniqueServiceHandle service;
  for (int attempt = 0;; ++attempt) {
    service.reset(CreateServiceA(manager.get(), serviceName_.c_str(), serviceName_.c_str(),
                                 SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                 SERVICE_ERROR_NORMAL, quotedPath.c_str(), nullptr, nullptr,
                                 kDependencies, nullptr, nullptr));
    if (service || GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE ||
        attempt >= kMarkedForDeleteRetries) {
      break;
    }
    Sleep(kMarkedForDeleteRetryMs);
  }
  if (!service) {
    ShowError("Could not start service");
    return false;
  }
  return true;
}

bool ServiceInstaller::Uninstall() const {
  if (!IsInstalled()) return true;

  UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    ShowError("Could not open Service Manager");
    return false;
  }
  UniqueServiceHandle service(
      OpenServiceA(manager.get(), serviceName_.c_str(), SERVICE_STOP | DELETE));
  if (!service) {
    ShowError("Could not open service");
    return false;
  }

  SERVICE_STATUS status{};
  if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    const DWORD error = GetLastError();
    const bool notRunning = error == ERROR_SERVICE_NOT_ACTIVE;
    const bool alreadyStopping = error == ERROR_INVALID_SERVICE_CONTROL &&
                                 status.dwCurrentState == SERVICE_STOP_PENDING;
    if (!notRunning && !alreadyStopping) ShowError("Could not stop service");
  }

  if (!DeleteService(service.get())) {
    ShowError("Could not delete service");
    return false;
  }
  return true;
}

}  // namespace zvu
