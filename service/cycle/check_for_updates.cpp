#include "check_for_updates.h"

#include "update_catalogue.h"

namespace zvu {
namespace {

enum class WaitOutcome { Complete, Failed, Stopped, TimedOut };

// Sleeps one poll interval; true when the service was asked to stop meanwhile.
bool PollIntervalInterrupted(HANDLE stopEvent) {
  if (stopEvent == nullptr) {
    Sleep(kCataloguePollMs);
    return false;
  }
  return WaitForSingleObject(stopEvent, kCataloguePollMs) == WAIT_OBJECT_0;
}

WaitOutcome WaitForCatalogue(XHttpClient& client, HANDLE stopEvent, DWORD waitLimitMs) {
  const ULONGLONG deadline = GetTickCount64() + waitLimitMs;
  for (;;) {
    const HttpState state = client.GetHttpState();
    const bool interrupted = PollIntervalInterrupted(stopEvent);
    if (interrupted) return WaitOutcome::Stopped;
    if (state == HttpState::Complete) return WaitOutcome::Complete;
    if (state == HttpState::Failed) return WaitOutcome::Failed;
    if (GetTickCount64() >= deadline) return WaitOutcome::TimedOut;
  }
}

}  // namespace

HRESULT CheckForUpdates(std::string& updateXml, HANDLE stopEvent, DWORD waitLimitMs) {
  UpdateCatalogue catalogue;
  catalogue.ReadInstalledProducts();
  if (!catalogue.FetchCatalogue()) return E_FAIL;

  XHttpClient& client = catalogue.HttpClient();
  std::string fetched;
  switch (WaitForCatalogue(client, stopEvent, waitLimitMs)) {
    case WaitOutcome::Complete:
      fetched = client.ResponseText();
      break;
    case WaitOutcome::Failed:
      break;
    case WaitOutcome::Stopped:
      client.Cancel();
      return E_FAIL;
    case WaitOutcome::TimedOut:
      client.Cancel();
      break;
  }

  // An empty or malformed text leaves the update list empty.
  catalogue.ParseCatalogue(fetched);
  for (const UpdateEntry& update : catalogue.ApplicableUpdates()) {
    if (update.IsApplicableUpdate()) {
      updateXml = std::move(fetched);
      return S_OK;
    }
  }
  return E_FAIL;
}

}  // namespace zvu
