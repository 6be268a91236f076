#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalogue_entry.h"
#include "product_keys.h"
#include "product_registry.h"
#include "update_catalogue.h"

namespace {

using zvu::CatalogueEntry;
using zvu::kMissingRegistryValue;
using zvu::ProductVersion;
using zvu::UpdateEntry;
using zvu::test::ScopedProductKey;

UpdateEntry Update(const std::string& name, ProductVersion version) {
  UpdateEntry update;
  update.name = name;
  update.version = version;
  return update;
}

CatalogueEntry Offer(const std::string& name, uint32_t major) {
  CatalogueEntry offer;
  offer.name = name;
  offer.version.major = major;
  return offer;
}

TEST(IsApplicableUpdate, NewerMinorOrBuildWithinTheSameMajor) {
  ScopedProductKey product("Zvu Test Quillet", {2, 3, 10, 0});
  EXPECT_TRUE(Update(product.name(), {2, 3, 11, 0}).IsApplicableUpdate());
  EXPECT_TRUE(Update(product.name(), {2, 4, 0, 0}).IsApplicableUpdate());
  EXPECT_FALSE(Update(product.name(), {2, 3, 10, 5}).IsApplicableUpdate());
  EXPECT_FALSE(Update(product.name(), {2, 3, 10, 0}).IsApplicableUpdate());
  EXPECT_FALSE(Update(product.name(), {2, 3, 9, 99}).IsApplicableUpdate());
  EXPECT_FALSE(Update(product.name(), {2, 2, 99, 0}).IsApplicableUpdate());
  EXPECT_FALSE(Update(product.name(), {3, 0, 0, 0}).IsApplicableUpdate());
  EXPECT_FALSE(Update(product.name(), {1, 9, 0, 0}).IsApplicableUpdate());
  // The registry opens key names case-insensitively.
  EXPECT_TRUE(Update("zvu test QUILLET", {2, 3, 11, 0}).IsApplicableUpdate());
}

TEST(IsApplicableUpdate, SubbuildIsNeitherReadNorCompared) {
  ScopedProductKey product("Zvu Test NoSubbuild", {2, 3, 10, std::nullopt});
  EXPECT_TRUE(Update(product.name(), {2, 3, 11, 0}).IsApplicableUpdate());
  EXPECT_FALSE(Update(product.name(), {2, 3, 10, 9}).IsApplicableUpdate());
}

TEST(IsApplicableUpdate, MissingMajorMinorOrBuildMeansNotApplicable) {
  ScopedProductKey majorOnly("Zvu Test MajorOnly", {2, std::nullopt, std::nullopt, 0});
  ScopedProductKey noBuild("Zvu Test NoBuild", {2, 3, std::nullopt, 0});
  ScopedProductKey noMajor("Zvu Test NoMajor", {std::nullopt, 3, 10, 0});
  for (const ProductVersion& v : {ProductVersion{2, 4, 0, 0}, ProductVersion{2, 3, 11, 0}}) {
    EXPECT_FALSE(Update(majorOnly.name(), v).IsApplicableUpdate());
    EXPECT_FALSE(Update(noBuild.name(), v).IsApplicableUpdate());
    EXPECT_FALSE(Update(noMajor.name(), v).IsApplicableUpdate());
  }
  EXPECT_FALSE(Update("Zvu Test Not Installed", {2, 4, 0, 0}).IsApplicableUpdate());
  EXPECT_FALSE(Update("", {2, 4, 0, 0}).IsApplicableUpdate());
}

// Versions compare unsigned: numbers at or above 2^31 are large, not negative.
TEST(IsApplicableUpdate, ComparesUnsigned) {
  ScopedProductKey product("Zvu Test Large", {0x80000000u, 5, 0x7FFFFFFFu, 0});
  EXPECT_TRUE(Update(product.name(), {0x80000000u, 5, 0x80000000u, 0}).IsApplicableUpdate());
  EXPECT_TRUE(Update(product.name(), {0x80000000u, 0xFFFFFFF0u, 0, 0}).IsApplicableUpdate());
  EXPECT_FALSE(Update(product.name(), {0x80000000u, 5, 0x7FFFFFFEu, 0}).IsApplicableUpdate());
  EXPECT_FALSE(Update(product.name(), {0x7FFFFFFFu, 9, 0, 0}).IsApplicableUpdate());
}

// A product key name in the catalogue reaches exactly one direct subkey.
TEST(IsApplicableUpdate, NameWithBackslashDoesNotReachNestedKeys) {
  ScopedProductKey parent("Zvu Test Parent", {});
  ScopedProductKey nested("Zvu Test Parent\\Nested", {2, 3, 10, 0});
  EXPECT_FALSE(Update(nested.name(), {2, 3, 11, 0}).IsApplicableUpdate());
  EXPECT_TRUE(Offer(nested.name(), 1).IsOfferedProduct());
}

TEST(IsOfferedProduct, NotInstalledOrHigherMajorOnly) {
  ScopedProductKey two("Zvu Test Offer Two", {2, 9, 9, 9});
  ScopedProductKey three("Zvu Test Offer Three", {3, 0, 0, 0});
  ScopedProductKey majorOnly("Zvu Test Offer MajorOnly", {2, std::nullopt, std::nullopt, std::nullopt});
  ScopedProductKey noMajor("Zvu Test Offer NoMajor", {std::nullopt, 1, 1, 1});
  EXPECT_TRUE(Offer(two.name(), 3).IsOfferedProduct());
  EXPECT_FALSE(Offer(three.name(), 3).IsOfferedProduct());
  EXPECT_FALSE(Offer(two.name(), 2).IsOfferedProduct());  // minor and build play no part
  EXPECT_FALSE(Offer(majorOnly.name(), 2).IsOfferedProduct());
  EXPECT_TRUE(Offer(majorOnly.name(), 0x80000000u).IsOfferedProduct());  // unsigned
  EXPECT_TRUE(Offer(noMajor.name(), 0).IsOfferedProduct());
  EXPECT_TRUE(Offer("Zvu Test Offer Absent", 0).IsOfferedProduct());
  EXPECT_TRUE(Offer("", 0).IsOfferedProduct());
}

TEST(ProductVersion, TextIsFourUnsignedNumbers) {
  EXPECT_EQ((ProductVersion{2, 3, 10, 0}).ToText(), "2.3.10.0");
  EXPECT_EQ((ProductVersion{kMissingRegistryValue, 0, 0x80000000u, 1}).ToText(),
            "4294967295.0.2147483648.1");
}

TEST(ReadInstalledProducts, ListRunsInReverseEnumerationOrderWithRegistryVersions) {
  ScopedProductKey first("Zvu Test Inv First", {1, 2, 3, 4});
  ScopedProductKey second("Zvu Test Inv Second", {});
  ScopedProductKey third("Zvu Test Inv Third", {7, 8, std::nullopt, 0xFFFFFFFE});

  zvu::UpdateCatalogue catalogue;
  catalogue.InstalledProducts().push_back(Offer("stale entry", 1));
  catalogue.ReadInstalledProducts();

  std::vector<std::string> enumerated = zvu::EnumRegistrySubkeys(zvu::kProductsKey);
  std::vector<std::string> listed;
  for (const CatalogueEntry& entry : catalogue.InstalledProducts()) listed.push_back(entry.name);
  std::reverse(enumerated.begin(), enumerated.end());
  EXPECT_EQ(listed, enumerated);

  std::vector<std::string> ours;
  for (const std::string& name : listed) {
    if (name.rfind("Zvu Test Inv ", 0) == 0) ours.push_back(name);
  }
  // The registry enumerates these names in alphabetical order.
  EXPECT_EQ(ours, (std::vector<std::string>{third.name(), second.name(), first.name()}));

  for (const CatalogueEntry& entry : catalogue.InstalledProducts()) {
    EXPECT_TRUE(entry.description.empty());
    EXPECT_EQ(entry.size, 0u);
    if (entry.name == first.name()) {
      EXPECT_EQ(entry.version, (ProductVersion{1, 2, 3, 4}));
    }
    if (entry.name == second.name()) {
      EXPECT_EQ(entry.version, (ProductVersion{kMissingRegistryValue, kMissingRegistryValue,
                                               kMissingRegistryValue, kMissingRegistryValue}));
    }
    if (entry.name == third.name()) {
      EXPECT_EQ(entry.version, (ProductVersion{7, 8, kMissingRegistryValue, 0xFFFFFFFE}));
    }
  }
}

// A 32-bit product installed on 64-bit Windows has its key in the 32-bit view.
TEST(ReadInstalledProducts, ProductsOfBothViewsAreListedOnceThe64BitKeyFirst) {
  ScopedProductKey only32("Zvu Test Inv Wow", {4, 5, 6, 7}, KEY_WOW64_32KEY);
  ScopedProductKey both64("Zvu Test Inv Both", {2, 0, 1, 0});
  ScopedProductKey both32("ZVU TEST INV BOTH", {1, 0, 0, 0}, KEY_WOW64_32KEY);

  zvu::UpdateCatalogue catalogue;
  catalogue.ReadInstalledProducts();
  std::vector<CatalogueEntry> ours;
  for (const CatalogueEntry& entry : catalogue.InstalledProducts()) {
    if (zvu::SameProductName(entry.name, only32.name()) ||
        zvu::SameProductName(entry.name, both64.name())) {
      ours.push_back(entry);
    }
  }
  ASSERT_EQ(ours.size(), 2u);
  // Reverse enumeration order: the 32-bit view's own names come last in the
  // enumeration, so first here.
  EXPECT_EQ(ours[0].name, only32.name());
  EXPECT_EQ(ours[0].version, (ProductVersion{4, 5, 6, 7}));
  EXPECT_EQ(ours[1].name, both64.name());
  EXPECT_EQ(ours[1].version, (ProductVersion{2, 0, 1, 0}));
}

TEST(IsApplicableUpdate, ProductIn32BitViewOnlyIsComparedWithItsVersion) {
  ScopedProductKey product("Zvu Test Wow Quillet", {2, 3, 10, 0}, KEY_WOW64_32KEY);
  EXPECT_TRUE(Update(product.name(), {2, 3, 11, 0}).IsApplicableUpdate());
  EXPECT_FALSE(Update(product.name(), {2, 3, 10, 0}).IsApplicableUpdate());
  EXPECT_FALSE(Offer(product.name(), 2).IsOfferedProduct());
  EXPECT_TRUE(Offer(product.name(), 3).IsOfferedProduct());

  // Where the 64-bit view has the product too, its version decides.
  ScopedProductKey newer64(product.name(), {2, 3, 11, 0});
  EXPECT_FALSE(Update(product.name(), {2, 3, 11, 0}).IsApplicableUpdate());
}

TEST(ReadInstalledProducts, NoProductsKeyGivesEmptyList) {
  if (zvu::test::ProductsKeyExists()) GTEST_SKIP() << "Software\\Zelko is in use by another test";
  zvu::UpdateCatalogue catalogue;
  catalogue.InstalledProducts().push_back(Offer("stale entry", 1));
  catalogue.ReadInstalledProducts();
  EXPECT_TRUE(catalogue.InstalledProducts().empty());
}

}  // namespace
