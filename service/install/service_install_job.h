#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "install_log_files.h"
#include "installer_fetch.h"
#include "service_install.h"

namespace zvu {

// How long an installer started by the service may run before it is
// terminated and counts as failed: the client's bound (1000 checks of 200 ms).
inline constexpr DWORD kServiceInstallLimitMs = 200000;

// Where and how long InstallVerifiedUpdate works.
struct ServiceInstallSettings {
  // The folder that holds Zelko\VuroUpdate: the machine's program data.
  std::wstring root;
  DWORD installLimitMs = kServiceInstallLimitMs;
  DWORD downloadStallLimitMs = kDownloadStallLimitMs;
  size_t keptLogs = kKeptInstallLogs;
};

// The settings InstallVerifiedUpdate(entry, progress) uses: the machine's
// program data folder (empty when the system does not name it) and the
// bounds above.
ServiceInstallSettings DefaultServiceInstallSettings();

// InstallVerifiedUpdate with the given settings. An empty root counts as a
// folder that cannot be made.
ServiceInstallOutcome InstallVerifiedUpdate(const UpdateEntry& entry,
                                            ServiceInstallProgress& progress,
                                            const ServiceInstallSettings& settings);

}  // namespace zvu
