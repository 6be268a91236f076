#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Product keys below HKLM\Software\Zelko\ for one test. The test prefix is
// shared by every test program, so each test creates the keys it needs and
// removes them again; product names carry a "Zvu Test" prefix.
namespace zvu::test {

struct InstalledVersion {
  std::optional<uint32_t> major;
  std::optional<uint32_t> minor;
  std::optional<uint32_t> build;
  std::optional<uint32_t> subbuild;
};

class ScopedProductKey {
 public:
  // Creates HKLM\Software\Zelko\<name> with the given REG_DWORD values, in
  // the registry view that view names: 0 for the test's own (64-bit) view,
  // KEY_WOW64_32KEY for the view a 32-bit installer writes into.
  ScopedProductKey(std::string name, const InstalledVersion& version, unsigned long view = 0);
  ~ScopedProductKey();
  ScopedProductKey(const ScopedProductKey&) = delete;
  ScopedProductKey& operator=(const ScopedProductKey&) = delete;

  const std::string& name() const { return name_; }
  std::string path() const;
  // Writes a raw value of any type and size.
  void SetRawValue(const char* valueName, unsigned long type, const void* data, size_t size);

 private:
  std::string name_;
  unsigned long view_;
};

// Whether HKLM\Software\Zelko exists at all, in either view.
bool ProductsKeyExists();

}  // namespace zvu::test
