// Drives a service through the control manager and prints what it reports.
//
//   zvu_service_control_probe burst <service> <control> <count>
//       sends the control <count> times; prints "delivered <n> failed <n>
//       error <last error>".
//   zvu_service_control_probe gated <service>
//       for the stand-in host (standin_service_host.cpp): starts the service
//       with its start held at the start gate, reads the status while it
//       waits, opens the gate, reads "running", sends the stop with the stop
//       held at the stop gate, reads the status while the stop waits, opens
//       the gate and reads "stopped". One line per reading:
//       "<label> state=<n> checkpoint=<n> hint=<n> exit=<n> accepts=<n>", or
//       "<label> not reached" when the wait for it ran out (30 s).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "wait_until.h"

namespace {

constexpr char kStartGate[] = "Global\\ZvuStandinHostStartGate";
constexpr char kStopGate[] = "Global\\ZvuStandinHostStopGate";
constexpr DWORD kWaitLimitMs = 30000;

void Print(const char* label, const SERVICE_STATUS& status) {
  std::printf("%s state=%lu checkpoint=%lu hint=%lu exit=%lu accepts=%lu\n", label,
              status.dwCurrentState, status.dwCheckPoint, status.dwWaitHint,
              status.dwWin32ExitCode, status.dwControlsAccepted);
  std::fflush(stdout);
}

// Reads the status until `reached` holds (30 s at the most).
bool ReadUntil(SC_HANDLE service, const char* label,
               const std::function<bool(const SERVICE_STATUS&)>& reached) {
  SERVICE_STATUS status{};
  if (zvu::test::WaitUntil(
          [&] { return QueryServiceStatus(service, &status) && reached(status); },
          kWaitLimitMs)) {
    Print(label, status);
    return true;
  }
  std::printf("%s not reached (state=%lu checkpoint=%lu)\n", label, status.dwCurrentState,
              status.dwCheckPoint);
  return false;
}

int Burst(SC_HANDLE manager, const char* name, DWORD control, int count) {
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_USER_DEFINED_CONTROL);
  if (service == nullptr) {
    std::printf("not opened %lu\n", GetLastError());
    return 1;
  }
  int delivered = 0;
  int failed = 0;
  DWORD error = 0;
  for (int i = 0; i < count; ++i) {
    SERVICE_STATUS status{};
    if (ControlService(service, control, &status)) {
      ++delivered;
    } else {
      ++failed;
      error = GetLastError();
    }
  }
  std::printf("delivered %d failed %d error %lu\n", delivered, failed, error);
  CloseServiceHandle(service);
  return 0;
}

int Gated(SC_HANDLE manager, const char* name) {
  HANDLE startGate = CreateEventA(nullptr, TRUE, FALSE, kStartGate);
  HANDLE stopGate = CreateEventA(nullptr, TRUE, FALSE, kStopGate);
  SC_HANDLE service =
      OpenServiceA(manager, name, SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
  if (startGate == nullptr || stopGate == nullptr || service == nullptr) {
    std::printf("not prepared %lu\n", GetLastError());
    return 1;
  }
  if (!StartServiceA(service, 0, nullptr)) {
    std::printf("start failed %lu\n", GetLastError());
    SetEvent(startGate);
    return 1;
  }
  // The start waits at the gate once the timer exists: three steps reported.
  ReadUntil(service, "start-waiting", [](const SERVICE_STATUS& status) {
    return status.dwCurrentState == SERVICE_START_PENDING && status.dwCheckPoint >= 3;
  });
  SetEvent(startGate);
  ReadUntil(service, "running",
            [](const SERVICE_STATUS& status) { return status.dwCurrentState == SERVICE_RUNNING; });

  SERVICE_STATUS answer{};
  if (ControlService(service, SERVICE_CONTROL_STOP, &answer)) {
    Print("stop-answer", answer);
  } else {
    std::printf("stop failed %lu\n", GetLastError());
  }
  // The stop waits at the gate once the loop has ended: two steps reported.
  ReadUntil(service, "stop-waiting", [](const SERVICE_STATUS& status) {
    return status.dwCurrentState == SERVICE_STOP_PENDING && status.dwCheckPoint >= 2;
  });
  SetEvent(stopGate);
  ReadUntil(service, "stopped",
            [](const SERVICE_STATUS& status) { return status.dwCurrentState == SERVICE_STOPPED; });
  CloseServiceHandle(service);
  CloseHandle(startGate);
  CloseHandle(stopGate);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string command = argv[1];
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) {
    std::printf("manager not opened %lu\n", GetLastError());
    return 1;
  }
  int result = 2;
  if (command == "burst" && argc == 5) {
    result = Burst(manager, argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)),
                   std::atoi(argv[4]));
  } else if (command == "gated") {
    result = Gated(manager, argv[2]);
  }
  CloseServiceHandle(manager);
  return result;
}
