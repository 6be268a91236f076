#pragma once

#include <list>
#include <string_view>

#include "catalogue_entry.h"
#include "http_client.h"

namespace zvu {

using ProductList = std::list<CatalogueEntry>;
using UpdateList = std::list<UpdateEntry>;

// The products installed on this machine, and the products and updates the
// maker's catalogue offers. The service builds one per update check; each
// wizard run owns one. Not shared between threads while it is being filled.
//
// List order:
//   - installed products: reverse registry enumeration order (each product
//     read is inserted at the head);
//   - offered products and applicable updates: document order.
class UpdateCatalogue {
 public:
  // Creating a catalogue creates its HTTP client, which writes its start
  // record to the program log; accessType is the client's (see XHttpClient).
  explicit UpdateCatalogue(DWORD accessType = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY)
      : httpClient_(accessType) {}
  UpdateCatalogue(const UpdateCatalogue&) = delete;
  UpdateCatalogue& operator=(const UpdateCatalogue&) = delete;

  // Refills the installed-product list from the subkeys of kProductsKey:
  // name = key name, version = its "Major", "Minor", "build" and "subbuild"
  // values (kMissingRegistryValue where missing), no description, size 0.
  void ReadInstalledProducts();

  // Reads the catalogue document text (ANSI code page) through MSXML.
  // Fills the offered-product list from the "products" element and the
  // applicable-update list from the "updates" element, keeping only updates
  // whose product has a key below kProductsKey (any version; see
  // UpdateEntry::IsApplicableUpdate). Installed products are not touched.
  //
  // Returns true when the document was loaded and both lists were built.
  // On false:
  //   - empty text, text holding a NUL byte, or text that is not well-formed
  //     XML: both lists keep their previous contents;
  //   - a failure while reading the products: the offered list holds the
  //     products read so far, the update list keeps its previous contents;
  //   - a failure while reading the updates: the offered list is complete,
  //     the update list holds the updates kept so far.
  // A missing "products" or "updates" element gives an empty list, a missing
  // field its default, and is not a failure.
  //
  // Initialises COM on the calling thread (single-threaded apartment unless
  // the thread already has COM) and leaves it initialised.
  bool ParseCatalogue(std::string_view text);

  // Starts the HTTPS fetch of the catalogue from the update server into the
  // response text of HttpClient(). True when the request was sent; the text
  // is complete once the client reaches HttpState::Complete.
  bool FetchCatalogue();
  XHttpClient& HttpClient() { return httpClient_; }

  ProductList& InstalledProducts() { return installedProducts_; }
  const ProductList& InstalledProducts() const { return installedProducts_; }
  ProductList& OfferedProducts() { return offeredProducts_; }
  const ProductList& OfferedProducts() const { return offeredProducts_; }
  UpdateList& ApplicableUpdates() { return applicableUpdates_; }
  const UpdateList& ApplicableUpdates() const { return applicableUpdates_; }

 private:
  ProductList installedProducts_;
  ProductList offeredProducts_;
  UpdateList applicableUpdates_;
  XHttpClient httpClient_;
};

}  // namespace zvu
