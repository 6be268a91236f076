#include "installer_fetch.h"

#include "http_client.h"
#include "program_log.h"
#include "service_texts.h"

namespace zvu {
namespace {

constexpr DWORD kPollMs = 200;

}  // namespace

FetchResult FetchInstaller(const UpdateEntry& entry, const DownloadAddress& address,
                           const std::string& localPath, ServiceInstallProgress& progress,
                           DWORD stallLimitMs) {
  const std::string version = entry.version.ToText();
  XHttpClient client(kMachineProxyAccess);  // the machine's proxy, as for the catalogue
  DWORD error = client.Connect(address.host, false, true);
  if (error == 0) {
    client.SetObject(address.object);
    error = client.GetToFile(localPath);
  }
  if (error != 0) {
    ProgramLog::Printf(texts::kInstallDownloadNotStarted, entry.name.c_str(), version.c_str(),
                       static_cast<unsigned long>(error));
    client.Cancel();
    return FetchResult::kFailed;
  }

  uint64_t reported = UINT64_MAX;
  uint64_t reportedTotal = UINT64_MAX;
  uint64_t lastBytes = 0;
  ULONGLONG lastProgress = GetTickCount64();
  for (;;) {
    const HttpState state = client.GetHttpState();
    const uint64_t bytes = client.ReceivedBytes();
    const uint64_t total = client.ContentLength();
    if (bytes != reported || total != reportedTotal) {
      progress.Received(bytes, total);
      reported = bytes;
      reportedTotal = total;
    }
    if (state == HttpState::Complete) return FetchResult::kComplete;
    // Closing and closed reports of the connection come and go during a
    // transfer; only these two end it (a 304 cannot come: no validators).
    if (state == HttpState::Failed || state == HttpState::NotModified) {
      ProgramLog::Printf(texts::kInstallDownloadFailed, entry.name.c_str(), version.c_str(),
                         static_cast<int>(state), static_cast<unsigned long long>(bytes),
                         static_cast<unsigned long long>(total));
      client.Cancel();
      return FetchResult::kFailed;
    }
    if (progress.Abandoned()) {
      client.Cancel();
      ProgramLog::Printf(texts::kInstallAbandoned, entry.name.c_str(), version.c_str());
      return FetchResult::kAbandoned;
    }
    const ULONGLONG now = GetTickCount64();
    if (bytes != lastBytes) {
      lastBytes = bytes;
      lastProgress = now;
    } else if (now - lastProgress >= stallLimitMs) {
      client.Cancel();
      ProgramLog::Printf(texts::kInstallDownloadStalled, entry.name.c_str(), version.c_str(),
                         static_cast<unsigned long>(stallLimitMs / 1000),
                         static_cast<unsigned long long>(bytes));
      return FetchResult::kFailed;
    }
    Sleep(kPollMs);
  }
}

}  // namespace zvu
