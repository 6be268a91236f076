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

}  // namespace zvu
