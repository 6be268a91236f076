#include "product_keys.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "product_registry.h"
#include "unique_handle.h"

namespace zvu::test {

ScopedProductKey::ScopedProductKey(std::string name, const InstalledVersion& version,
                                   unsigned long view)
    : name_(std::move(name)), view_(view) {
  UniqueRegKey key;
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path().c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS | view_, nullptr, key.put(), nullptr),
            ERROR_SUCCESS)
      << path();
  auto set = [&](const char* valueName, const std::optional<uint32_t>& value) {
    if (!value) return;
    DWORD data = *value;
    SetRawValue(valueName, REG_DWORD, &data, sizeof(data));
  };
  set("Major", version.major);
  set("Minor", version.minor);
  set("build", version.build);
  set("subbuild", version.subbuild);
}

ScopedProductKey::~ScopedProductKey() {
  // A recursive delete works in the view its handle was opened in.
  UniqueRegKey products;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zelko", 0,
                    DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | view_,
                    products.put()) == ERROR_SUCCESS) {
    RegDeleteTreeA(products.get(), name_.c_str());
  } else {
    products.release();
  }
  RegDeleteKeyExA(HKEY_LOCAL_MACHINE, path().c_str(), view_, 0);
  // Leaves Software\Zelko behind only when other products are still in it.
  RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zelko", view_, 0);
}

std::string ScopedProductKey::path() const { return std::string(kProductsKey) + name_; }

void ScopedProductKey::SetRawValue(const char* valueName, unsigned long type, const void* data,
                                   size_t size) {
  UniqueRegKey key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path().c_str(), 0, KEY_SET_VALUE | view_, key.put()),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key.get(), valueName, 0, type, static_cast<const BYTE*>(data),
                           static_cast<DWORD>(size)),
            ERROR_SUCCESS);
}

bool ProductsKeyExists() {
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zelko", 0, KEY_READ | view, key.put()) ==
        ERROR_SUCCESS) {
      return true;
    }
    key.release();
  }
  return false;
}

}  // namespace zvu::test
