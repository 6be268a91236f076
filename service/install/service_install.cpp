#include "service_install.h"

#include <mutex>
#include <new>
#include <optional>

#include "common_texts.h"
#include "format_text.h"
#include "install_result.h"
#include "installer_command.h"
#include "installer_digest.h"
#include "installer_download.h"
#include "installer_process.h"
#include "installer_runner.h"
#include "installer_version.h"
#include "program_log.h"
#include "service_folders.h"
#include "service_install_job.h"
#include "service_texts.h"
#include "unique_handle.h"

namespace zvu {
namespace {

// One installation at a time in the process: Windows Installer runs one
// anyway, and the folders are shared.
std::mutex installSlot;

// The update as the records name it.
struct Named {
  std::string name;
  std::string version;
};

// Deletes the service's copy of an installer (and the response file it may
// have had); a copy that stays gets a record.
void DeleteCopy(const Named& update, const std::string& path,
                const std::string& responseFile = {}) {
  if (!DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
    ProgramLog::Printf(texts::kInstallCopyNotDeleted, update.name.c_str(), update.version.c_str(),
                       path.c_str(), GetLastError());
  }
  if (!responseFile.empty()) DeleteFileA(responseFile.c_str());
}

// Checks the downloaded copy against the entry's digest through the handle
// that then holds it (see HeldFile): others may read the file while it is
// held, no one may write, rename or delete it, so the bytes hashed are the
// bytes that start. Nothing when the copy matches; else the outcome, the
// copy deleted.
std::optional<ServiceInstallOutcome> OpenVerified(const UpdateEntry& entry, const Named& update,
                                                  const std::string& path, HeldFile& copy) {
  DigestCheck check = VerifyInstallerDigest(path, entry.sha256);
  if (check.verdict == DigestVerdict::Match) {
    copy = std::move(check.held);
    return std::nullopt;
  }
  if (!check.held.IsHeld() && check.held.OpenError() != 0) {
    ProgramLog::Printf(texts::kInstallCopyNotOpened, update.name.c_str(), update.version.c_str(),
                       check.held.OpenError());
  }
  check.held.Release();
  if (!check.deleted) DeleteCopy(update, path);
  ProgramLog::Write(DigestFailureRecord(entry.name, entry.sha256, check));
  return check.verdict == DigestVerdict::Unreadable ? ServiceInstallOutcome::kDownloadFailed
                                                    : ServiceInstallOutcome::kDigestMismatch;
}

ServiceInstallOutcome Install(const UpdateEntry& entry, ServiceInstallProgress& progress,
                              const ServiceInstallSettings& settings) {
  const Named update{entry.name, entry.version.ToText()};
  ProgramLog::Printf(texts::kInstallStarted, update.name.c_str(), update.version.c_str(),
                     entry.url.c_str());
  if (entry.sha256.empty()) {
    // Nothing would vouch for the bytes: the service never runs such a file.
    ProgramLog::Printf(texts::kInstallNoDigest, update.name.c_str(), update.version.c_str());
    return ServiceInstallOutcome::kDigestMismatch;
  }
  const DownloadAddress address = SplitDownloadUrl(entry.url);
  const std::optional<std::string> fileName = InstallerFileName(address.object);
  if (address.host.empty() || !fileName) {
    ProgramLog::Printf(texts::kInstallBadFileName, update.name.c_str(), update.version.c_str());
    return ServiceInstallOutcome::kDownloadFailed;
  }
  if (progress.Abandoned()) {
    ProgramLog::Printf(texts::kInstallAbandoned, update.name.c_str(), update.version.c_str());
    return ServiceInstallOutcome::kAbandoned;
  }

  // Both folders stay checked and pinned until the run has ended.
  TrustedFolder downloads;
  TrustedFolder logs;
  if (settings.root.empty()) {
    ProgramLog::Printf(texts::kInstallFolderRefused, "%ProgramData%",
                       FormatText(texts::kFolderNotOpened, 2ul).c_str());
    return ServiceInstallOutcome::kFolderUnsafe;
  }
  if (!downloads.Open(settings.root, kServiceDownloadsFolder) ||
      !logs.Open(settings.root, kServiceLogsFolder)) {
    return ServiceInstallOutcome::kFolderUnsafe;
  }

  const std::string installerPath = downloads.Path() + '\\' + *fileName;
  switch (FetchInstaller(entry, address, installerPath, progress, settings.downloadStallLimitMs)) {
    case FetchResult::kComplete:
      break;
    case FetchResult::kFailed:
      DeleteCopy(update, installerPath);
      return ServiceInstallOutcome::kDownloadFailed;
    case FetchResult::kAbandoned:
      DeleteCopy(update, installerPath);
      return ServiceInstallOutcome::kAbandoned;
  }

  HeldFile copy;
  if (const auto refused = OpenVerified(entry, update, installerPath, copy)) return *refused;
  if (progress.Abandoned()) {
    ProgramLog::Printf(texts::kInstallAbandoned, update.name.c_str(), update.version.c_str());
    copy.Release();
    DeleteCopy(update, installerPath);
    return ServiceInstallOutcome::kAbandoned;
  }

  SYSTEMTIME now{};
  GetSystemTime(&now);
  const std::string logName = InstallLogName(now, *fileName);
  std::string logPath;
  if (const DWORD error = CreateInstallLog(logs.Path(), logName, logPath); error != 0) {
    ProgramLog::Printf(texts::kInstallLogNotCreated, update.name.c_str(), update.version.c_str(),
                       logName.c_str(), error);
    copy.Release();
    DeleteCopy(update, installerPath);
    return ServiceInstallOutcome::kInstallFailed;
  }

  InstallerCommandRequest request;
  request.installerPath = installerPath;
  request.folder = downloads.Path();
  request.options = entry.options;
  request.issfile = entry.issfile;
  request.logPath = logPath;
  if (const auto major = QueryWindowsInstallerMajorVersion()) {
    request.installerMajorVersion = *major;
  }
  const InstallerCommand command = BuildInstallerCommand(request);
  const std::string application = InstallerApplicationName(command, installerPath);
  if (command.error != InstallerCommandError::kNone || application.empty() ||
      (!command.responseFilePath.empty() &&
       !InstallerRunner::WriteResponseFile(command.responseFilePath, entry.issfile))) {
    ProgramLog::Printf(texts::kInstallCommandNotBuilt, update.name.c_str(),
                       update.version.c_str(), installerPath.c_str());
    copy.Release();
    DeleteCopy(update, installerPath, command.responseFilePath);
    return ServiceInstallOutcome::kInstallFailed;
  }

  progress.Installing();
  DWORD startError = 0;
  const InstallerEnd end = RunInstallerProcess(
      application, command.commandLine, settings.installLimitMs,
      // Started: the verified copy is the one that runs; the folder keeps
      // it from change from here on.
      [&copy] { copy.Release(); }, startError);
  copy.Release();

  ServiceInstallOutcome outcome = ServiceInstallOutcome::kInstallFailed;
  if (end == InstallerEnd::kNotStarted) {
    ProgramLog::Printf(texts::kInstallStartFailed, update.name.c_str(), update.version.c_str(),
                       startError);
  } else if (end == InstallerEnd::kTimedOut) {
    ProgramLog::Printf(common_texts::kInstallerStopped, installerPath.c_str(),
                       static_cast<unsigned>(settings.installLimitMs / 1000));
  } else {
    bool success = false;
    // The records name the log by its long path, which administrators look for;
    // the installer was given the short one.
    const std::string shownLog = logs.Path() + '\\' + logName;
    if (ReadInstallResultFile(logPath, !entry.issfile.empty(), success) != 0) {
      ProgramLog::Printf(texts::kInstallLogNotRead, update.name.c_str(), update.version.c_str(),
                         shownLog.c_str());
    } else if (success) {
      ProgramLog::Printf(texts::kInstallSucceeded, update.name.c_str(), update.version.c_str(),
                         shownLog.c_str());
      outcome = ServiceInstallOutcome::kInstalled;
    } else {
      ProgramLog::Printf(texts::kInstallFailed, update.name.c_str(), update.version.c_str(),
                         shownLog.c_str());
    }
  }
  DeleteCopy(update, installerPath, command.responseFilePath);
  PruneInstallLogs(logs.Path(), settings.keptLogs);
  return outcome;
}

}  // namespace

ServiceInstallSettings DefaultServiceInstallSettings() {
  ServiceInstallSettings settings;
  settings.root = ProgramDataFolder();
  return settings;
}

ServiceInstallOutcome InstallVerifiedUpdate(const UpdateEntry& entry,
                                            ServiceInstallProgress& progress,
                                            const ServiceInstallSettings& settings) {
  const std::lock_guard<std::mutex> slot(installSlot);
  try {
    return Install(entry, progress, settings);
  } catch (const std::bad_alloc&) {
    // Out of memory before the start: nothing ran. After it, the run's end
    // is unknown and counts as failed.
    return ServiceInstallOutcome::kInstallFailed;
  }
}

ServiceInstallOutcome InstallVerifiedUpdate(const UpdateEntry& entry,
                                            ServiceInstallProgress& progress) {
  ServiceInstallSettings settings;
  try {
    settings = DefaultServiceInstallSettings();
  } catch (const std::bad_alloc&) {
    return ServiceInstallOutcome::kFolderUnsafe;
  }
  return InstallVerifiedUpdate(entry, progress, settings);
}

}  // namespace zvu
