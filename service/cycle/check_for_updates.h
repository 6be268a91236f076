#pragma once

#include <windows.h>

#include <string>

#include "kept_catalogue.h"
#include "update_work.h"

namespace zvu {

// How long one check waits for the catalogue transfer to end. WinHTTP's own
// time-outs end most stalled transfers, but a server that keeps trickling
// bytes could otherwise hold the service's main thread for ever.
inline constexpr DWORD kCatalogueWaitLimitMs = 120000;
// The check looks at the transfer's state this often.
inline constexpr DWORD kCataloguePollMs = 200;

// One update check: reads the installed products, fetches the catalogue from
// the update server and looks for an update that applies to an installed
// product. Returns S_OK and sets `updateXml` to the catalogue text, exactly
// as received, when one applies, leaving `updateXml` as it was otherwise:
// E_FAIL when the catalogue read holds nothing to hand over, and
// kCheckInconclusive when no catalogue was read (the fetch failed or was cut,
// the body is no catalogue, or it holds the client pipe's end byte). Returns
// kCheckInconclusive promptly when `stopEvent` (may be null) is signalled, or
// when the transfer has not ended within `waitLimitMs`.
HRESULT CheckForUpdates(std::string& updateXml, HANDLE stopEvent,
                        DWORD waitLimitMs = kCatalogueWaitLimitMs);

// The same, with a conditional fetch: `kept` (may be null) holds the last
// complete catalogue response that carried validators, from earlier checks.
// The request carries its validators; a 304 answer ("not modified") makes the
// check go on with the kept text exactly as if the same body had arrived
// again. A complete response replaces what is kept; a failed fetch leaves it.
HRESULT CheckForUpdates(std::string& updateXml, HANDLE stopEvent, KeptCatalogue* kept,
                        DWORD waitLimitMs = kCatalogueWaitLimitMs);

// Fetches the catalogue once, unconditionally, with the check's fetch and its
// limits. True and `text` set to the body, exactly as received, when a whole
// response arrived; false when the fetch failed, was cut, timed out or
// `stopEvent` (may be null) was signalled. Usable on any thread.
bool FetchCatalogueText(std::string& text, HANDLE stopEvent,
                        DWORD waitLimitMs = kCatalogueWaitLimitMs);

}  // namespace zvu
