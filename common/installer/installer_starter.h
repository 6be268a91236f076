#pragma once

#include <windows.h>

#include <string>

namespace zvu {

// Starts an installer's process for the runner: with the client's own
// rights, or with administrator rights the user consents to. The runner
// uses SystemInstallerStarter(); a test gives it one that answers as
// Windows would where Wine cannot (a refused start, a declined prompt).
class InstallerStarter {
 public:
  virtual ~InstallerStarter() = default;

  // CreateProcess of commandLine, with application as the program unless it
  // is empty. Returns 0 and sets *process, or the Windows error
  // (ERROR_ELEVATION_REQUIRED for a program that asks for administrator
  // rights the client does not have).
  virtual DWORD Start(const std::string& application, const std::string& commandLine,
                      HANDLE* process) = 0;

  // ShellExecuteEx with the verb "runas": Windows asks the user for consent
  // (owner is the prompt's owner window) and starts file with parameters
  // elevated. Returns 0 and sets *process, or the Windows error
  // (ERROR_CANCELLED when the user declined).
  virtual DWORD StartElevated(HWND owner, const std::string& file, const std::string& parameters,
                              HANDLE* process) = 0;
};

// The system's calls.
InstallerStarter& SystemInstallerStarter();

}  // namespace zvu
