#pragma once

#include "http_client.h"

namespace zvu {

// Path of the update catalogue on the update server.
inline constexpr wchar_t kCatalogueObject[] = L"/update/";

// Starts the HTTPS GET of the catalogue from the update server into the
// client's response text. True when the request was sent; the text is
// complete once the client's state is HttpState::Complete, and the fetch
// failed when it is HttpState::Failed.
bool StartCatalogueFetch(XHttpClient& client);

// The same, sent with extra request headers (see KeptCatalogue): when they
// make the request conditional, the fetch may also end in
// HttpState::NotModified, which means the catalogue has not changed.
bool StartCatalogueFetch(XHttpClient& client, std::wstring_view requestHeaders);

}  // namespace zvu
