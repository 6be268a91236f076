#include "catalogue_entry.h"

#include <cstdio>

#include "product_registry.h"

namespace zvu {

std::string ProductVersion::ToText() const {
  char text[48];
  std::snprintf(text, sizeof(text), "%lu.%lu.%lu.%lu", static_cast<unsigned long>(major),
                static_cast<unsigned long>(minor), static_cast<unsigned long>(build),
                static_cast<unsigned long>(subbuild));
  return text;
}

bool CatalogueEntry::IsOfferedProduct() const {
  const std::string key = ProductKeyPath(name);
  // A name that cannot be a key names no installed product.
  const uint32_t installedMajor =
      key.empty() ? kMissingRegistryValue : ReadRegistryDword(key, "Major");
  if (installedMajor == kMissingRegistryValue) return true;
  return version.major > installedMajor;
}

bool UpdateEntry::IsApplicableUpdate() const {
  const std::string key = ProductKeyPath(name);
  if (key.empty()) return false;

  const uint32_t installedMajor = ReadRegistryDword(key, "Major");
  if (installedMajor == kMissingRegistryValue) return false;
  const uint32_t installedMinor = ReadRegistryDword(key, "Minor");
  if (installedMinor == kMissingRegistryValue) return false;
  const uint32_t installedBuild = ReadRegistryDword(key, "build");
  if (installedBuild == kMissingRegistryValue) return false;

  // An update never crosses a major version, in either direction.
  if (version.major != installedMajor) return false;
  if (version.minor != installedMinor) return version.minor > installedMinor;
  return version.build > installedBuild;
}

}  // namespace zvu
