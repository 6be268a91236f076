#include "product_registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "product_keys.h"
#include "unique_handle.h"

namespace {

using zvu::EnumRegistrySubkeys;
using zvu::kMissingRegistryValue;
using zvu::ReadRegistryDword;
using zvu::test::ScopedProductKey;

TEST(ReadRegistryDword, ReadsStoredNumbersAndMissingAsAllOnes) {
  ScopedProductKey product("Zvu Test Dword", {2, 0, 0xFFFFFFFE, std::nullopt});
  EXPECT_EQ(ReadRegistryDword(product.path(), "Major"), 2u);
  EXPECT_EQ(ReadRegistryDword(product.path(), "Minor"), 0u);
  EXPECT_EQ(ReadRegistryDword(product.path(), "build"), 0xFFFFFFFEu);
  EXPECT_EQ(ReadRegistryDword(product.path(), "subbuild"), kMissingRegistryValue);
  EXPECT_EQ(ReadRegistryDword(product.path() + "\\no such key", "Major"), kMissingRegistryValue);
  EXPECT_EQ(ReadRegistryDword(std::string("Software\\Zelko\\Zvu Test Dword\0x", 31), "Major"),
            kMissingRegistryValue);
}

TEST(ReadRegistryDword, TypeIsIgnoredShortValuesZeroExtendLongValuesAreMissing) {
  ScopedProductKey product("Zvu Test Raw", {});
  const BYTE two[] = {0x34, 0x12};
  const BYTE four[] = {0x78, 0x56, 0x34, 0x12};
  const BYTE five[] = {1, 2, 3, 4, 5};
  const uint64_t qword = 7;
  product.SetRawValue("Two", REG_BINARY, two, sizeof(two));
  product.SetRawValue("Four", REG_BINARY, four, sizeof(four));
  product.SetRawValue("Five", REG_BINARY, five, sizeof(five));
  product.SetRawValue("Qword", REG_QWORD, &qword, sizeof(qword));
  product.SetRawValue("Empty", REG_BINARY, nullptr, 0);
  product.SetRawValue("Text", REG_SZ, "7", 2);

  EXPECT_EQ(ReadRegistryDword(product.path(), "Two"), 0x1234u);
  EXPECT_EQ(ReadRegistryDword(product.path(), "Four"), 0x12345678u);
  EXPECT_EQ(ReadRegistryDword(product.path(), "Five"), kMissingRegistryValue);
  EXPECT_EQ(ReadRegistryDword(product.path(), "Qword"), kMissingRegistryValue);
  EXPECT_EQ(ReadRegistryDword(product.path(), "Empty"), 0u);
  EXPECT_EQ(ReadRegistryDword(product.path(), "Text"), 0x37u);  // the bytes "7\0"
}

TEST(EnumRegistrySubkeys, ListsNamesInRegistryOrderAndNothingForMissingKey) {
  ScopedProductKey parent("Zvu Test Enum", {});
  for (const char* child : {"beta", "Alpha", "gamma"}) {
    zvu::UniqueRegKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (parent.path() + "\\" + child).c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
  }

  // The registry's own order, as RegEnumKeyEx reports it index by index.
  std::vector<std::string> expected;
  {
    zvu::UniqueRegKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent.path().c_str(), 0, KEY_READ, key.put()),
              ERROR_SUCCESS);
    char name[256];
    DWORD length = sizeof(name);
    for (DWORD i = 0; RegEnumKeyExA(key.get(), i, name, &length, nullptr, nullptr, nullptr,
                                    nullptr) == ERROR_SUCCESS;
         ++i, length = sizeof(name)) {
      expected.emplace_back(name, length);
    }
  }
  ASSERT_EQ(expected.size(), 3u);
  EXPECT_EQ(EnumRegistrySubkeys(parent.path()), expected);
  EXPECT_TRUE(EnumRegistrySubkeys(parent.path() + "\\no such key").empty());
  EXPECT_TRUE(EnumRegistrySubkeys(parent.path() + "\\beta").empty());
}

// A key name has at most 255 characters, so the longest name fits the
// 1024-byte name buffer whole even at two bytes a character. Should a
// registry ever hold a longer name, it is skipped and the keys after it are
// still listed.
TEST(EnumRegistrySubkeys, LongestKeyNameIsListedWholeLongerOnesAreSkipped) {
  ScopedProductKey parent("Zvu Test Long", {});
  const std::string path = parent.path();
  const std::wstring widePath(path.begin(), path.end());
  auto create = [&](const std::wstring& name) {
    zvu::UniqueRegKey key;
    const LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, (widePath + L"\\" + name).c_str(), 0,
                                        nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    if (result != ERROR_SUCCESS) key.release();
    return result;
  };
  ASSERT_EQ(create(L"a"), ERROR_SUCCESS);
  ASSERT_EQ(create(std::wstring(255, L'm')), ERROR_SUCCESS);
  const bool tooLongAccepted = create(std::wstring(1100, L'n')) == ERROR_SUCCESS;
  ASSERT_EQ(create(L"z"), ERROR_SUCCESS);

  const std::vector<std::string> expected = {"a", std::string(255, 'm'), "z"};
  EXPECT_EQ(EnumRegistrySubkeys(path), expected) << "1100-character name accepted: "
                                                 << tooLongAccepted;
}

// A 32-bit product's installer writes its key into the 32-bit view, which a
// 64-bit program does not see without asking for it (Wine keeps the views
// apart as Windows does).
bool VisibleWithoutViewFlag(const std::string& path) {
  zvu::UniqueRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
    return true;
  }
  key.release();
  return false;
}

TEST(RegistryViews, KeyAbsentFromThe64BitViewIsReadFromThe32BitOne) {
  ScopedProductKey only32("Zvu Test View32", {2, 1, 7, std::nullopt}, KEY_WOW64_32KEY);
  ASSERT_FALSE(VisibleWithoutViewFlag(only32.path())) << "the registry views are not apart";
  EXPECT_EQ(ReadRegistryDword(only32.path(), "Major"), 2u);
  EXPECT_EQ(ReadRegistryDword(only32.path(), "build"), 7u);
  EXPECT_EQ(ReadRegistryDword(only32.path(), "subbuild"), kMissingRegistryValue);
  EXPECT_TRUE(zvu::IsDwordValue(only32.path(), "Minor"));

  // In both views the 64-bit key is the one read, even for a value only the
  // 32-bit key has.
  ScopedProductKey both64("Zvu Test ViewBoth", {3, 0, std::nullopt, std::nullopt});
  ScopedProductKey both32("Zvu Test ViewBoth", {1, 9, 9, 9}, KEY_WOW64_32KEY);
  EXPECT_EQ(ReadRegistryDword(both64.path(), "Major"), 3u);
  EXPECT_EQ(ReadRegistryDword(both64.path(), "build"), kMissingRegistryValue);
  EXPECT_FALSE(zvu::IsDwordValue(both64.path(), "build"));
}

TEST(RegistryViews, EnumerationIsBothViewsWithEachNameOnce) {
  ScopedProductKey parent64("Zvu Test Union", {});
  ScopedProductKey parent32("Zvu Test Union", {}, KEY_WOW64_32KEY);
  auto create = [&](const char* child, REGSAM view) {
    zvu::UniqueRegKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (parent64.path() + "\\" + child).c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
  };
  create("a64", 0);
  create("shared", 0);
  create("b32", KEY_WOW64_32KEY);
  create("SHARED", KEY_WOW64_32KEY);  // the same key name as the registry compares names

  // The 64-bit view's names first, under their 64-bit spelling.
  EXPECT_EQ(EnumRegistrySubkeys(parent64.path()),
            (std::vector<std::string>{"a64", "shared", "b32"}));
}

TEST(ProductKeyPath, OnlyOneKeyNameMakesAPath) {
  EXPECT_EQ(zvu::ProductKeyPath("Quillet"), "Software\\Zelko\\Quillet");
  EXPECT_EQ(zvu::ProductKeyPath(""), "");
  EXPECT_EQ(zvu::ProductKeyPath("Quillet\\Sub"), "");
  EXPECT_EQ(zvu::ProductKeyPath("\\"), "");
  EXPECT_EQ(zvu::ProductKeyPath(std::string("Quillet\0x", 9)), "");
}

TEST(SameProductName, IgnoresCaseOfAsciiAndAnsiLetters) {
  EXPECT_TRUE(zvu::SameProductName("IISQuillet", "iisquillet"));
  EXPECT_TRUE(zvu::SameProductName("", ""));
  EXPECT_FALSE(zvu::SameProductName("IISQuillet", "IISQuillet2"));
  EXPECT_FALSE(zvu::SameProductName("co-op", "coop"));
  EXPECT_FALSE(zvu::SameProductName(std::string("a\0b", 3), "a"));
  if (GetACP() == 1252) {
    EXPECT_TRUE(zvu::SameProductName("Caf\xC9", "caf\xE9"));  // É / é
    EXPECT_FALSE(zvu::SameProductName("Caf\xC9", "Cafe"));
  }
}

// Names the registry takes as one key are the same product here.
TEST(SameProductName, AgreesWithTheRegistryOnWhichKeyANameOpens) {
  ScopedProductKey product("Zvu Test Case \xC4x", {1, 2, 3, 4});
  const std::string other = "zvu test case \xE4X";
  zvu::UniqueRegKey key;
  const bool registryOpens = RegOpenKeyExA(HKEY_LOCAL_MACHINE, zvu::ProductKeyPath(other).c_str(),
                                           0, KEY_READ, key.put()) == ERROR_SUCCESS;
  if (!registryOpens) key.release();
  EXPECT_EQ(zvu::SameProductName(product.name(), other), registryOpens);
}

}  // namespace
