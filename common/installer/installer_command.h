#pragma once

#include <string>
#include <string_view>

namespace zvu {

// What one silent installer run is made of.
struct InstallerCommandRequest {
  std::string installerPath;  // full path of the downloaded installer
  std::string folder;         // where "setup.iss" goes (the download folder)
  std::string options;        // the catalogue's options text, may be empty
  std::string issfile;        // the catalogue's response-file text, may be empty
  std::string logPath;        // the run's log file (short path, unquoted)
  int installerMajorVersion = 3;
};

enum class InstallerCommandError {
  kNone,
  kEmptyInstallerPath,
  kInstallerPathTooLong,  // MAX_PATH characters or more
};

struct InstallerCommand {
  InstallerCommandError error = InstallerCommandError::kNone;
  bool isPackage = false;        // the installer is a Windows Installer package
  // The command line starts with "msiexec": the system folder's msiexec.exe
  // is the program to start, the line its arguments.
  bool runsMsiexec = false;
  std::string commandLine;       // for CreateProcess
  // The same run as a program and its parameters, for a start through the
  // shell: the installer (empty for msiexec, which is the system folder's)
  // and everything of the command line after its first token.
  std::string program;
  std::string arguments;
  std::string responseFilePath;  // response-file form only: where the issfile text is written
};

// The system folder's msiexec.exe, the program a command that runsMsiexec
// starts (named to CreateProcess, so that no search decides it); empty when
// the system folder is unknown.
std::string SystemMsiexecPath();

// The placeholder in catalogue options that stands for the run's log file.
inline constexpr std::string_view kLogFilePlaceholder = "<log_file_name>";

// The path in double quotes when it contains a space, else unchanged.
std::string QuoteSpaces(const std::string& path);

// Every occurrence of `from` replaced by `to`, in one pass over the text
// (replaced text is not searched again).
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// True when the path, without trailing white space, ends in ".msi" in any case.
bool IsWindowsInstallerPackage(std::string_view installerPath);

// Windows Installers before version 3 know neither "/log" nor "/norestart":
// "/log" becomes "/l*" and "/norestart" is removed, everywhere in the line.
std::string AdaptForInstallerVersion(std::string commandLine, int installerMajorVersion);

// The command line for the request, first form that applies:
//   options given, package:        msiexec /i <installer> <options>
//   options given, setup program:  <installer> <options>
//   issfile given:                 <installer> /s /f1"<folder>\setup.iss" /f2"<log>"
//   package:                       msiexec /i <installer> /qn /norestart /log <log> 
//   setup program:                 <installer> /s /sms /v"/qn /norestart /log <log> "
// "<log_file_name>" in the options is replaced by the (quoted) log path.
InstallerCommand BuildInstallerCommand(const InstallerCommandRequest& request);

}  // namespace zvu
