#pragma once

#include <cstdint>

#include "catalogue_entry.h"

namespace zvu {

// What an installation through the service reports while it runs. Called on
// the installing thread; implementations forward it to the requesting client.
class ServiceInstallProgress {
 public:
  virtual ~ServiceInstallProgress() = default;
  // Bytes of the installer received so far, and the whole size (0 while the
  // server has not said).
  virtual void Received(uint64_t bytes, uint64_t total) = 0;
  // The installer has been verified and is being started.
  virtual void Installing() = 0;
  // True once the requester has gone: the download stops, and an installer
  // not yet started is not started. A started installer is waited for.
  virtual bool Abandoned() { return false; }
};

enum class ServiceInstallOutcome {
  kInstalled,        // the installer ran and its log reports success
  kInstallFailed,    // it ran (or could not be started) and did not succeed
  kDownloadFailed,   // the installer could not be fetched whole
  kDigestMismatch,   // the bytes received do not match the catalogue's sha256
  kFolderUnsafe,     // the service's download folder cannot be made or trusted
  kAbandoned,        // the requester went away before the installer started
};

// Downloads, verifies and runs one update that the service found in a
// catalogue it fetched itself. entry.sha256 must be set (the caller refuses
// entries without one). Runs as the service's own account; one installation
// at a time in the process: a second call waits until the first has ended.
ServiceInstallOutcome InstallVerifiedUpdate(const UpdateEntry& entry,
                                            ServiceInstallProgress& progress);

}  // namespace zvu
