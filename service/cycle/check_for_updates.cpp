#include "check_for_updates.h"

#include <new>

#include "catalogue_fetch.h"
#include "program_log.h"
#include "service_texts.h"
#include "update_catalogue.h"

namespace zvu {
namespace {

enum class WaitOutcome { Complete, NotModified, Failed, Stopped, TimedOut };

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
    if (state == HttpState::NotModified) return WaitOutcome::NotModified;
    if (state == HttpState::Failed) return WaitOutcome::Failed;
    if (GetTickCount64() >= deadline) return WaitOutcome::TimedOut;
  }
}

HRESULT CheckOnce(std::string& updateXml, HANDLE stopEvent, KeptCatalogue* kept,
                  DWORD waitLimitMs) {
  UpdateCatalogue catalogue;
  catalogue.ReadInstalledProducts();
  const std::wstring validators = kept != nullptr ? kept->RequestHeaders() : std::wstring();
  if (!StartCatalogueFetch(catalogue.HttpClient(), validators)) return E_FAIL;

  XHttpClient& client = catalogue.HttpClient();
  std::string fetched;
  switch (WaitForCatalogue(client, stopEvent, waitLimitMs)) {
    case WaitOutcome::Complete:
      fetched = client.ResponseText();
      if (kept != nullptr) kept->RememberResponse(client, fetched);
      break;
    case WaitOutcome::NotModified:
      // Only a request that carried validators gets this answer, and those
      // came with the kept text.
      if (kept != nullptr && kept->HasText()) fetched = kept->Text();
      break;
    case WaitOutcome::Failed:
      break;
    case WaitOutcome::Stopped:
      client.Cancel();
      return E_FAIL;
    case WaitOutcome::TimedOut:
      // Without this record the log would end in the middle of the transfer
      // and not say that the check was abandoned.
      client.Cancel();
      ProgramLog::Printf(texts::kCatalogueCheckGivenUp,
                         static_cast<unsigned long>(waitLimitMs / 1000));
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

}  // namespace

HRESULT CheckForUpdates(std::string& updateXml, HANDLE stopEvent, DWORD waitLimitMs) {
  return CheckForUpdates(updateXml, stopEvent, nullptr, waitLimitMs);
}

HRESULT CheckForUpdates(std::string& updateXml, HANDLE stopEvent, KeptCatalogue* kept,
                        DWORD waitLimitMs) {
  try {
    return CheckOnce(updateXml, stopEvent, kept, waitLimitMs);
  } catch (const std::bad_alloc&) {
    return E_FAIL;  // out of memory: nothing found this time
  }
}

}  // namespace zvu
