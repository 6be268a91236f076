#include "installer_starter.h"

#include <shellapi.h>

#include <vector>

namespace zvu {
namespace {

class SystemStarter : public InstallerStarter {
 public:
  DWORD Start(const std::string& application, const std::string& commandLine,
              HANDLE* process) override {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(application.empty() ? nullptr : application.c_str(), line.data(), nullptr,
                        nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)) {
      return GetLastError();
    }
    CloseHandle(started.hThread);
    *process = started.hProcess;
    return 0;
  }

  DWORD StartElevated(HWND owner, const std::string& file, const std::string& parameters,
                      HANDLE* process) override {
    // SEE_MASK_NOCLOSEPROCESS: the process handle comes back for the wait.
    // SEE_MASK_NOASYNC: the call returns only when the start is done (the
    // calling thread may end its COM use or the wizard right after it).
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.hwnd = owner;
    info.lpVerb = "runas";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info)) return GetLastError();
    // An executable file always gives a process; without one there is
    // nothing to wait for.
    if (info.hProcess == nullptr) return ERROR_INVALID_HANDLE;
    *process = info.hProcess;
    return 0;
  }
};

}  // namespace

InstallerStarter& SystemInstallerStarter() {
  static SystemStarter starter;
  return starter;
}

}  // namespace zvu
