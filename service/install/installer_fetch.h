#pragma once

#include <windows.h>

#include <string>

#include "catalogue_entry.h"
#include "installer_download.h"
#include "service_install.h"

namespace zvu {

// How long a download may go without a byte before the service gives it up.
// WinHTTP's own time-outs end most stalls; a server that trickles a byte now
// and then would otherwise hold the one installation slot for ever.
inline constexpr DWORD kDownloadStallLimitMs = 120000;

enum class FetchResult { kComplete, kFailed, kAbandoned };

// Fetches the installer at address into localPath (created or truncated) on
// the calling thread, over plain HTTP as the client does: the sha256 checked
// afterwards is what vouches for the bytes. Reports the bytes received to
// progress; stops when progress says the requester has gone, or when no byte
// has arrived for stallLimitMs. Every end other than kComplete gets a log
// record (entry names the update); a partial file is left for the caller.
FetchResult FetchInstaller(const UpdateEntry& entry, const DownloadAddress& address,
                           const std::string& localPath, ServiceInstallProgress& progress,
                           DWORD stallLimitMs = kDownloadStallLimitMs);

}  // namespace zvu
