#pragma once

#include <cstdint>
#include <string>

namespace zvu {

// A product version: four unsigned 32-bit numbers, compared unsigned.
// Read from the registry, a missing number is kMissingRegistryValue.
struct ProductVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint32_t subbuild = 0;

  // "major.minor.build.subbuild", each in unsigned decimal.
  std::string ToText() const;

  friend bool operator==(const ProductVersion&, const ProductVersion&) = default;
};

// The rule that makes an update newer than an installed version: the majors
// are equal, and the update's minor is greater, or the minors are equal and
// its build is greater. Subbuild is not compared.
bool IsNewerWithinMajor(const ProductVersion& update, const ProductVersion& installed);

// One product: from the catalogue's "products" list, or from the registry
// inventory (then name is the product's key name and size is 0).
class CatalogueEntry {
 public:
  CatalogueEntry() = default;
  virtual ~CatalogueEntry() = default;
  CatalogueEntry(const CatalogueEntry&) = default;
  CatalogueEntry& operator=(const CatalogueEntry&) = default;
  CatalogueEntry(CatalogueEntry&&) = default;
  CatalogueEntry& operator=(CatalogueEntry&&) = default;

  // Whether this catalogue product is worth offering: it is not installed
  // (its key has no "Major" value), or the catalogue's major version is
  // greater than the installed one. Minor, build and subbuild play no part.
  bool IsOfferedProduct() const;

  std::string name;         // the product's key name below kProductsKey
  std::string description;  // ANSI text
  ProductVersion version;
  // Installer size in bytes. Catalogue numbers are signed 32-bit values;
  // a negative one is kept as its two's-complement bit pattern.
  uint32_t size = 0;
};

// One update from the catalogue's "updates" list, with the user's choice and
// the progress of its download and installation.
class UpdateEntry : public CatalogueEntry {
 public:
  // Whether this update is newer than the installed product of the same
  // name: the installed key has "Major", "Minor" and "build", and the update
  // IsNewerWithinMajor than the installed version.
  bool IsApplicableUpdate() const;

  bool offered = true;         // chosen for download and installation
  bool installPending = true;  // cleared once the installer has been started
  bool downloaded = false;
  bool installed = false;
  std::string url;      // absolute URL of the installer file
  std::string options;  // extra installer command-line text
  std::string issfile;  // whole text of a setup program's response file
  // SHA-256 of the installer file as the catalogue gives it (64 hexadecimal
  // digits, either case); empty when the catalogue lists none. Checked by
  // VerifyInstallerDigest before the installer runs.
  std::string sha256;
};

}  // namespace zvu
