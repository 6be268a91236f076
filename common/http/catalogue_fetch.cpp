#include "catalogue_fetch.h"

#include "zvu_config.h"

namespace zvu {

bool StartCatalogueFetch(XHttpClient& client) {
  if (client.Connect(kUpdateHost, /*secure=*/true, /*asynchronous=*/true) != 0) return false;
  client.SetObject(kCatalogueObject);
  return client.Get() == 0;
}

}  // namespace zvu
