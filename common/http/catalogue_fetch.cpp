#include "catalogue_fetch.h"

#include "zvu_config.h"

namespace zvu {

bool StartCatalogueFetch(XHttpClient& client) { return StartCatalogueFetch(client, {}); }

bool StartCatalogueFetch(XHttpClient& client, std::wstring_view requestHeaders) {
  if (client.Connect(kUpdateHost, /*secure=*/true, /*asynchronous=*/true) != 0) return false;
  client.SetObject(kCatalogueObject);
  client.SetRequestHeaders(requestHeaders);
  return client.Get() == 0;
}

}  // namespace zvu
