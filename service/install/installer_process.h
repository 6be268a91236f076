#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "installer_command.h"

namespace zvu {

// The program a command starts, named to CreateProcess so that no search
// decides it: msiexec.exe in the system folder for a package, the installer
// itself otherwise. Empty when the system folder is unknown.
std::string InstallerApplicationName(const InstallerCommand& command,
                                     const std::string& installerPath);

enum class InstallerEnd { kEnded, kNotStarted, kTimedOut };

// Starts the command (no window, no inherited handles, the service's own
// environment and account) and waits for its process to end, at most
// limitMs; a process still running then is terminated. `started` is called
// once the process exists, before the wait. error is the start's Windows
// error for kNotStarted.
InstallerEnd RunInstallerProcess(const std::string& applicationName,
                                 const std::string& commandLine, DWORD limitMs,
                                 const std::function<void()>& started, DWORD& error);

}  // namespace zvu
