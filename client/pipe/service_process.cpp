#include "service_process.h"

#include "unique_handle.h"

namespace zvu {

DWORD RunningServiceProcessId() {
  // SC_MANAGER_CONNECT is granted to every authenticated local user, and the
  // default access list of a service gives them SERVICE_QUERY_STATUS; no
  // more is asked for, so a standard user gets the same answer as an
  // administrator (see docs/handle-access.md).
  const UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 0;
  const UniqueServiceHandle service(
      OpenServiceA(manager.get(), kUpdateServiceName, SERVICE_QUERY_STATUS));
  if (!service) return 0;
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                            sizeof(status), &needed)) {
    return 0;
  }
  // A stopped service has no process. While it starts or stops the id may
  // not be valid yet or any longer; it is taken all the same, since a
  // registration goes ahead only when the pipe's server and the greeting
  // name that same process.
  if (status.dwCurrentState == SERVICE_STOPPED || status.dwProcessId == 0) {
    SetLastError(ERROR_SERVICE_NOT_ACTIVE);
    return 0;
  }
  return status.dwProcessId;
}

}  // namespace zvu
