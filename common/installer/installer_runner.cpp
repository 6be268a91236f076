#include "installer_runner.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <exception>

#include "common_texts.h"
#include "install_result.h"
#include "installer_command.h"
#include "installer_log_file.h"
#include "installer_version.h"
#include "program_log.h"
#include "unique_handle.h"

namespace zvu {
namespace {

// Exit code given to an installer that ran too long.
constexpr UINT kTimedOutExitCode = 0xC0000095;
// ERROR_ELEVATION_REQUIRED: the program asks for administrator rights that
// the token does not have (not in every toolchain's headers).
constexpr DWORD kElevationRequired = 740;
// How long to wait for a terminated installer to go away.
constexpr DWORD kTerminationWaitMs = 5000;

void CallPump(InstallerWaitCallback* pump) {
  if (pump) pump->OnInstallerWait();
}

}  // namespace

InstallerRunner::InstallerRunner(unsigned pollLimit, InstallerStarter& starter)
    : pollLimit_(pollLimit), starter_(starter) {
  QueryInstallerVersion();
}

void InstallerRunner::QueryInstallerVersion() {
  if (const auto major = QueryWindowsInstallerMajorVersion()) installerMajorVersion_ = *major;
}

int InstallerRunner::PrepareLogFile(const std::string& logName) {
  logPath_.clear();
  char localAppData[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathA(nullptr, localAppData, CSIDL_LOCAL_APPDATA, TRUE)) return -1;
  std::string shortPath;
  if (CreateEmptyLogFile(localAppData, logName, shortPath) != 0) return -1;
  logPath_ = shortPath;
  return 0;
}

std::string InstallerRunner::ResponseFileBytes(const std::string& text) {
  // Windows line ends, as a text-mode write gives them, but without turning
  // a "\r\n" that is already there into "\r\r\n".
  std::string contents;
  contents.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) contents += '\r';
    contents += text[i];
  }
  return contents;
}

bool InstallerRunner::WriteResponseFile(const std::string& path, const std::string& text) {
  if (text.empty()) return false;
  const std::string contents = ResponseFileBytes(text);
  UniqueFile file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  const bool written =
      std::fwrite(contents.data(), 1, contents.size(), file.get()) == contents.size();
  // Closed here: a close that fails means the bytes may not have reached the file.
  const bool closed = std::fclose(file.release()) == 0;
  return written && closed;
}

bool InstallerRunner::RunInstaller(const std::string& installerPath, const std::string& folder,
                                   const std::string& options, const std::string& logName,
                                   const std::string& issfile, InstallerWaitCallback* pump,
                                   HeldFile heldInstaller) {
  try {
    return Run(installerPath, folder, options, logName, issfile, pump, heldInstaller);
  } catch (const std::exception&) {
    // Out of memory while building texts: the run fails, the caller goes on.
    return false;
  }
}

bool InstallerRunner::Run(const std::string& installerPath, const std::string& folder,
                          const std::string& options, const std::string& logName,
                          const std::string& issfile, InstallerWaitCallback* pump,
                          HeldFile& heldInstaller) {
  if (PrepareLogFile(logName) != 0) return false;
  CallPump(pump);

  InstallerCommandRequest request;
  request.installerPath = installerPath;
  request.folder = folder;
  request.options = options;
  request.issfile = issfile;
  request.logPath = logPath_;
  request.installerMajorVersion = installerMajorVersion_;
  const InstallerCommand command = BuildInstallerCommand(request);
  if (command.error != InstallerCommandError::kNone) return false;
  HeldFile heldResponseFile;
  if (!command.responseFilePath.empty()) {
    if (!WriteResponseFile(command.responseFilePath, issfile)) return false;
    // Held until the setup program has started. The file is written and
    // closed before the hold begins, so what is held is read back: a file
    // changed or replaced in between is not what this run wrote.
    heldResponseFile = HeldFile::Open(command.responseFilePath);
    std::string held;
    if (!heldResponseFile.ReadAll(held) || held != ResponseFileBytes(issfile)) return false;
  }

  // A package runs through the system folder's msiexec.exe, named as the
  // program to start: a bare "msiexec" would be looked for in the client's
  // own folder and in the current directory before the system folder. The
  // command line keeps its "msiexec /i ..." text; msiexec reads its
  // arguments from it.
  std::string application;
  if (command.runsMsiexec) {
    application = SystemMsiexecPath();
    if (application.empty()) return false;
  }

  CallPump(pump);
  if (!StartAndWait(command, application, installerPath, pump, heldInstaller, heldResponseFile)) {
    return false;
  }

  bool success = false;
  if (ReadInstallResult(!issfile.empty(), success) != 0) return false;
  return success;
}

int InstallerRunner::ReadInstallResult(bool setupResultFile, bool& success) const {
  return ReadInstallResultFile(logPath_, setupResultFile, success);
}

DWORD InstallerRunner::Start(const InstallerCommand& command, const std::string& msiexec,
                             HANDLE* process, bool* withConsent) const {
  const std::string& program = command.runsMsiexec ? msiexec : command.program;
  *withConsent = false;
  if (!consent_) {
    const DWORD error = starter_.Start(command.runsMsiexec ? msiexec : std::string(),
                                       command.commandLine, process);
    // A program whose manifest asks for administrator rights the client's
    // token does not have: the user is asked.
    if (error != kElevationRequired) return error;
  }
  // The shell takes the program and its parameters apart; msiexec by its
  // system-folder path, never found through the search order.
  if (program.empty()) return ERROR_INVALID_PARAMETER;
  *withConsent = true;
  return starter_.StartElevated(owner_, program, command.arguments, process);
}

bool InstallerRunner::StartAndWait(const InstallerCommand& command, const std::string& msiexec,
                                   const std::string& installerPath,
                                   InstallerWaitCallback* pump, HeldFile& heldInstaller,
                                   HeldFile& heldResponseFile) const {
  HANDLE started = nullptr;
  bool withConsent = false;
  const DWORD error = Start(command, msiexec, &started, &withConsent);
  // Held until the start has returned. A setup program's image is mapped by
  // now; msiexec opens its package afterwards, in a folder only this user
  // may change (the download folder is the user's own).
  heldInstaller.Release();
  heldResponseFile.Release();
  if (error != 0) {
    ProgramLog::Printf(error == ERROR_CANCELLED ? common_texts::kInstallerConsentDeclined
                                                : common_texts::kInstallerNotStarted,
                       installerPath.c_str(), static_cast<unsigned long>(error));
    return false;
  }
  const UniqueHandle process(started);
  if (withConsent) {
    ProgramLog::Printf(common_texts::kInstallerStartedWithConsent, installerPath.c_str());
  }

  for (unsigned polls = 1;; ++polls) {
    // The process object itself tells whether it ended: an installer whose
    // exit code happens to be STILL_ACTIVE (259) has ended all the same. A
    // wait that fails tells nothing, so it does not count as the end.
    const bool ended = WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
    CallPump(pump);
    Sleep(kPollIntervalMs);
    if (ended) return true;
    if (polls > pollLimit_) {
      // An installer that finished during the last pause is not a time-out.
      if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return true;
      TerminateProcess(process.get(), kTimedOutExitCode);
      WaitForSingleObject(process.get(), kTerminationWaitMs);
      // Its own log says nothing of this: it was still running.
      ProgramLog::Printf(common_texts::kInstallerStopped,
                         installerPath.c_str(), pollLimit_ * kPollIntervalMs / 1000);
      return false;
    }
  }
}

}  // namespace zvu
