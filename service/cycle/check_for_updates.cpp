#include "check_for_updates.h"

#include <new>
#include <set>

#include "catalogue_fetch.h"
#include "pipe_protocol.h"
#include "product_registry.h"
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

// An update that did not apply may have failed on how the product's version
// is stored rather than on the version itself: says so once per product.
void ReportOddInstalledVersion(const UpdateEntry& update, std::set<std::string>& reported) {
  const std::string key = ProductKeyPath(update.name);
  if (key.empty() || !reported.insert(key).second) return;
  for (const char* value : {"Major", "Minor", "build"}) {
    if (IsDwordValue(key, value)) continue;
    ProgramLog::Printf(texts::kInstalledValueNotDword, update.name.c_str(),
                       ReadRegistryDword(key, "Major"), ReadRegistryDword(key, "Minor"),
                       ReadRegistryDword(key, "build"), value);
    return;
  }
}

HRESULT CheckOnce(std::string& updateXml, HANDLE stopEvent, KeptCatalogue* kept,
                  DWORD waitLimitMs) {
  UpdateCatalogue catalogue(kMachineProxyAccess);
  catalogue.ReadInstalledProducts();
  const std::wstring validators = kept != nullptr ? kept->RequestHeaders() : std::wstring();
  if (!StartCatalogueFetch(catalogue.HttpClient(), validators)) return kCheckInconclusive;

  XHttpClient& client = catalogue.HttpClient();
  std::string fetched;
  bool received = false;  // a body arrived (or the kept one stands for it)
  switch (WaitForCatalogue(client, stopEvent, waitLimitMs)) {
    case WaitOutcome::Complete:
      fetched = client.ResponseText();
      received = true;
      if (kept != nullptr) kept->RememberResponse(client, fetched);
      break;
    case WaitOutcome::NotModified:
      // Only a request that carried validators gets this answer, and those
      // came with the kept text.
      if (kept != nullptr && kept->HasText()) {
        fetched = kept->Text();
        received = true;
      }
      break;
    case WaitOutcome::Failed:
      break;
    case WaitOutcome::Stopped:
      client.Cancel();
      ProgramLog::Write(texts::kCheckStopped);
      return kCheckInconclusive;
    case WaitOutcome::TimedOut:
      // Without this record the log would end in the middle of the transfer
      // and not say that the check was abandoned.
      client.Cancel();
      ProgramLog::Printf(texts::kCatalogueCheckGivenUp,
                         static_cast<unsigned long>(waitLimitMs / 1000));
      break;
  }

  // An empty or malformed text leaves the update list empty. The transfer
  // records say why nothing arrived; a body that is no catalogue gets its own.
  const bool parsed = catalogue.ParseCatalogue(fetched);
  if (!parsed && received) {
    ProgramLog::Printf(texts::kCatalogueNotRead, static_cast<unsigned>(fetched.size()));
  }
  std::set<std::string> reported;
  for (const UpdateEntry& update : catalogue.ApplicableUpdates()) {
    if (!update.IsApplicableUpdate()) {
      ReportOddInstalledVersion(update, reported);
    } else {
      // The client takes this byte for the catalogue's end: it would open
      // the wizard on a cut text, and then again on the rest.
      const size_t marker = fetched.find(static_cast<char>(kCatalogueEndMarker));
      if (marker != std::string::npos) {
        ProgramLog::Printf(texts::kCatalogueNotHanded, static_cast<unsigned>(marker));
        return kCheckInconclusive;
      }
      updateXml = std::move(fetched);
      return S_OK;
    }
  }
  // Only a catalogue that was read whole can say that nothing applies.
  return parsed && received ? E_FAIL : kCheckInconclusive;
}

}  // namespace

bool FetchCatalogueText(std::string& text, HANDLE stopEvent, DWORD waitLimitMs) {
  try {
    XHttpClient client(kMachineProxyAccess);
    if (!StartCatalogueFetch(client)) return false;
    switch (WaitForCatalogue(client, stopEvent, waitLimitMs)) {
      case WaitOutcome::Complete:
        text = client.ResponseText();
        return true;
      case WaitOutcome::Stopped:
        client.Cancel();
        ProgramLog::Write(texts::kCheckStopped);
        return false;
      case WaitOutcome::TimedOut:
        client.Cancel();
        ProgramLog::Printf(texts::kCatalogueCheckGivenUp,
                           static_cast<unsigned long>(waitLimitMs / 1000));
        return false;
      case WaitOutcome::NotModified:  // never asked for: the request has no validators
      case WaitOutcome::Failed:
        return false;
    }
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

HRESULT CheckForUpdates(std::string& updateXml, HANDLE stopEvent, DWORD waitLimitMs) {
  return CheckForUpdates(updateXml, stopEvent, nullptr, waitLimitMs);
}

HRESULT CheckForUpdates(std::string& updateXml, HANDLE stopEvent, KeptCatalogue* kept,
                        DWORD waitLimitMs) {
  try {
    return CheckOnce(updateXml, stopEvent, kept, waitLimitMs);
  } catch (const std::bad_alloc&) {
    return kCheckInconclusive;  // out of memory: nothing could be read this time
  }
}

}  // namespace zvu
