#pragma once

#include <string>

#include "held_file.h"
#include "installer_command.h"
#include "installer_starter.h"
#include "installer_wait_callback.h"

namespace zvu {

// Runs one downloaded installer silently, waits for it and reads from its log
// whether it succeeded. One runner serves a whole wizard run; every
// RunInstaller prepares a log file of its own below the user's local
// application data ("Zelko\VuroUpdate\<log name>").
class InstallerRunner {
 public:
  static constexpr unsigned kDefaultPollLimit = 1000;  // about 200 seconds
  static constexpr unsigned kPollIntervalMs = 200;

  // pollLimit: how many 200 ms checks an installer may run before it is
  // terminated and the run counts as failed. starter: how processes are
  // started (the system's calls).
  explicit InstallerRunner(unsigned pollLimit = kDefaultPollLimit,
                           InstallerStarter& starter = SystemInstallerStarter());

  // Whether the next runs start installers with administrator rights the
  // user consents to (ShellExecuteEx "runas", owner as the prompt's owner
  // window) instead of with the client's own rights. A start with the
  // client's rights that Windows refuses with ERROR_ELEVATION_REQUIRED goes
  // that way too.
  void UseConsent(bool consent, HWND owner) {
    consent_ = consent;
    owner_ = owner;
  }

  // Reads the Windows Installer's major version from Msi.dll in the system
  // folder. When the version cannot be read the previous value stays.
  void QueryInstallerVersion();

  // Creates the empty log file logName and keeps its short path as the log
  // path. Returns 0, or -1 (log path empty) when the folders or the file
  // cannot be made.
  int PrepareLogFile(const std::string& logName);

  // Writes text to path with Windows line ends ("\n" alone becomes "\r\n");
  // false when text is empty or the file cannot be written.
  static bool WriteResponseFile(const std::string& path, const std::string& text);
  // The bytes WriteResponseFile writes for text.
  static std::string ResponseFileBytes(const std::string& text);

  // Runs the installer and returns true when its log reports success.
  //   installerPath  full path of the installer (".msi" runs through msiexec)
  //   folder         where "setup.iss" is written when issfile is used
  //   options        command-line options ("<log_file_name>" stands for the
  //                  log path), may be empty
  //   logName        file name of this run's log
  //   issfile        the whole response-file text, may be empty
  //   pump           called while the runner prepares and waits, may be null
  //   heldInstaller  the installer file as its check left it held, or
  //                  nothing; the runner keeps it held until the installer's
  //                  process has started (or could not be started)
  // Nothing is started when the log, the command line or the response file
  // cannot be made. The response file is held from its writing until the
  // installer's process has started, and nothing starts unless the held
  // file is what was written. An installer still running after the poll
  // limit is terminated and the run fails.
  bool RunInstaller(const std::string& installerPath, const std::string& folder,
                    const std::string& options, const std::string& logName,
                    const std::string& issfile, InstallerWaitCallback* pump,
                    HeldFile heldInstaller = HeldFile());

  // Reads the current log: the setup program's result file when
  // setupResultFile is set, else the Windows Installer log. Returns 0 with
  // success set from the log, or -1 when the log cannot be read.
  int ReadInstallResult(bool setupResultFile, bool& success) const;

  const std::string& LogPath() const { return logPath_; }
  int InstallerMajorVersion() const { return installerMajorVersion_; }

 private:
  bool Run(const std::string& installerPath, const std::string& folder,
           const std::string& options, const std::string& logName, const std::string& issfile,
           InstallerWaitCallback* pump, HeldFile& heldInstaller);
  // Starts the command (msiexec being the program at that path) and waits
  // for the process to end; false when it cannot be started (logged with its
  // error) or had to be terminated. The held files are let go once the
  // start has returned.
  // installerPath names the installer in the log records.
  bool StartAndWait(const InstallerCommand& command, const std::string& msiexec,
                    const std::string& installerPath, InstallerWaitCallback* pump,
                    HeldFile& heldInstaller, HeldFile& heldResponseFile) const;
  // Starts the command as UseConsent and ERROR_ELEVATION_REQUIRED ask: 0 and
  // the process, or the Windows error. *withConsent tells which start it was.
  DWORD Start(const InstallerCommand& command, const std::string& msiexec, HANDLE* process,
              bool* withConsent) const;

  std::string logPath_;
  int installerMajorVersion_ = 3;
  unsigned pollLimit_;
  InstallerStarter& starter_;
  bool consent_ = false;
  HWND owner_ = nullptr;
};

}  // namespace zvu
