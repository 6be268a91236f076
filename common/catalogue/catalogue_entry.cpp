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

bool IsNewerWithinMajor(const ProductVersion& update, const ProductVersion& installed) {
  // An update never crosses a major version, in either direction.
  if (update.major != installed.major) return false;
  if (update.minor != installed.minor) return update.minor > installed.minor;
  return update.build > installed.build;
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

  return IsNewerWithinMajor(version, {installedMajor, installedMinor, installedBuild, 0});
}

}  // namespace zvu
