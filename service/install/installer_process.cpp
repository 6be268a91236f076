#include "installer_process.h"

#include <vector>

#include "unique_handle.h"

namespace zvu {
namespace {

// Exit code given to an installer that ran too long (as the client's runner).
constexpr UINT kTimedOutExitCode = 0xC0000095;
// How long to wait for a terminated installer to go away.
constexpr DWORD kTerminationWaitMs = 5000;

}  // namespace

std::string InstallerApplicationName(const InstallerCommand& command,
                                     const std::string& installerPath) {
  return command.runsMsiexec ? SystemMsiexecPath() : installerPath;
}

InstallerEnd RunInstallerProcess(const std::string& applicationName,
                                 const std::string& commandLine, DWORD limitMs,
                                 const std::function<void()>& started, DWORD& error) {
  error = 0;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(applicationName.c_str(), line.data(), nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
    error = GetLastError();
    return InstallerEnd::kNotStarted;
  }
  const UniqueHandle processHandle(process.hProcess);
  const UniqueHandle thread(process.hThread);
  started();

  // The process object tells whether it ended, not its exit code (an
  // installer may well exit with 259, the code of a running process).
  if (WaitForSingleObject(processHandle.get(), limitMs) == WAIT_OBJECT_0) {
    return InstallerEnd::kEnded;
  }
  TerminateProcess(processHandle.get(), kTimedOutExitCode);
  WaitForSingleObject(processHandle.get(), kTerminationWaitMs);
  return InstallerEnd::kTimedOut;
}

}  // namespace zvu
