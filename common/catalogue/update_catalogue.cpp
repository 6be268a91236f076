#include "update_catalogue.h"

#include <new>
#include <string>
#include <vector>

#include "catalogue_document.h"
#include "catalogue_fetch.h"
#include "product_registry.h"

namespace zvu {
namespace {

// The fields products and updates share.
std::vector<EntryField> CommonFields(CatalogueEntry& entry) {
  return {
      {L"product", &entry.name},
      {L"description", &entry.description},
      {L"major", nullptr, &entry.version.major},
      {L"minor", nullptr, &entry.version.minor},
      {L"build", nullptr, &entry.version.build},
      {L"subbuild", nullptr, &entry.version.subbuild},
      {L"size", nullptr, &entry.size},
  };
}

HRESULT ReadProductFields(IXMLDOMNode* node, CatalogueEntry& entry) {
  return ReadEntryFields(node, CommonFields(entry));
}

HRESULT ReadUpdateFields(IXMLDOMNode* node, UpdateEntry& entry) {
  std::vector<EntryField> fields = CommonFields(entry);
  fields.push_back({L"url", &entry.url});
  fields.push_back({L"options", &entry.options});
  fields.push_back({L"issfile", &entry.issfile});
  return ReadEntryFields(node, fields);
}

HRESULT ReadOfferedProducts(IXMLDOMNode* products, ProductList& offered) {
  offered.clear();
  if (products == nullptr) return S_OK;

  ComPtr<IXMLDOMNode> node;
  HRESULT hr = FirstEntry(products, node);
  while (SUCCEEDED(hr) && node) {
    CatalogueEntry entry;
    if (FAILED(hr = ReadProductFields(node.get(), entry))) return hr;
    offered.push_back(std::move(entry));
    hr = NextEntry(node);
  }
  return hr;
}

HRESULT ReadUpdatesForInstalledProducts(IXMLDOMNode* updates, UpdateList& applicable) {
  applicable.clear();
  if (updates == nullptr) return S_OK;

  const std::vector<std::string> installed = EnumRegistrySubkeys(kProductsKey);
  ComPtr<IXMLDOMNode> node;
  HRESULT hr = FirstEntry(updates, node);
  while (SUCCEEDED(hr) && node) {
    UpdateEntry entry;
    if (FAILED(hr = ReadUpdateFields(node.get(), entry))) return hr;
    for (const std::string& productName : installed) {
      if (SameProductName(entry.name, productName)) {
        applicable.push_back(std::move(entry));
        break;
      }
    }
    hr = NextEntry(node);
  }
  return hr;
}

}  // namespace

void UpdateCatalogue::ReadInstalledProducts() {
  installedProducts_.clear();
  try {
    for (const std::string& productName : EnumRegistrySubkeys(kProductsKey)) {
      const std::string key = std::string(kProductsKey) + productName;
      CatalogueEntry entry;
      entry.name = productName;
      entry.version.major = ReadRegistryDword(key, "Major");
      entry.version.minor = ReadRegistryDword(key, "Minor");
      entry.version.build = ReadRegistryDword(key, "build");
      entry.version.subbuild = ReadRegistryDword(key, "subbuild");
      installedProducts_.push_front(std::move(entry));
    }
  } catch (const std::bad_alloc&) {
    // Out of memory: the list holds the products read so far.
  }
}

bool UpdateCatalogue::ParseCatalogue(std::string_view text) {
  try {
    CatalogueDocument document;
    if (FAILED(document.Create())) return false;
    if (FAILED(document.Load(text))) return false;
    if (FAILED(ReadOfferedProducts(document.products(), offeredProducts_))) return false;
    return SUCCEEDED(ReadUpdatesForInstalledProducts(document.updates(), applicableUpdates_));
  } catch (const std::bad_alloc&) {
    // Out of memory: the lists hold what was read so far.
    return false;
  }
}

bool UpdateCatalogue::FetchCatalogue() { return StartCatalogueFetch(httpClient_); }

}  // namespace zvu
