#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "product_keys.h"
#include "product_registry.h"
#include "update_catalogue.h"

namespace {

using zvu::test::ScopedProductKey;

// Shift-JIS texts: U+8868 U+793A (second byte of the first is 0x5C), and
// katakana A and DI, which differ only in an ASCII-letter trail byte ('A'/'a').
const std::string kDisplay = "\x95\x5C\x8E\xA6";
const std::string kKatakanaA = "\x83\x41";
const std::string kKatakanaDi = "\x83\x61";
// Full-width capital A and small a.
const std::string kWideCapitalA = "\x82\x60";
const std::string kWideSmallA = "\x82\x81";

class DoubleByteNames : public testing::Test {
 protected:
  void SetUp() override {
    // Wine takes the code page from the locale: the test environment runs this
    // program under ja_JP.UTF-8, which must be generated on the machine.
    ASSERT_EQ(GetACP(), 932u) << "needs ANSI code page 932 (is the ja_JP.UTF-8 locale "
                                 "generated? see scripts/install-deps.sh)";
  }
};

TEST_F(DoubleByteNames, ComparedAsWholeCharacters) {
  EXPECT_FALSE(zvu::SameProductName("Zvu " + kKatakanaA, "Zvu " + kKatakanaDi));
  EXPECT_TRUE(zvu::SameProductName("zvu " + kWideCapitalA, "ZVU " + kWideSmallA));
  EXPECT_TRUE(zvu::SameProductName(kDisplay, kDisplay));
  EXPECT_FALSE(zvu::SameProductName(kDisplay, "\x95"));
}

TEST_F(DoubleByteNames, TrailByteLikeABackslashIsPartOfTheName) {
  EXPECT_EQ(zvu::ProductKeyPath(kDisplay), "Software\\Zelko\\" + kDisplay);
  EXPECT_EQ(zvu::ProductKeyPath(kDisplay + "\\x"), "");

  ScopedProductKey product("Zvu Test " + kDisplay, {2, 3, 10, 0});
  zvu::UpdateEntry update;
  update.name = product.name();
  update.version = {2, 3, 11, 0};
  EXPECT_TRUE(update.IsApplicableUpdate());
  zvu::CatalogueEntry offer;
  offer.name = product.name();
  offer.version.major = 2;
  EXPECT_FALSE(offer.IsOfferedProduct());
}

TEST_F(DoubleByteNames, CatalogueKeepsUpdatesByWholeCharacterNames) {
  ScopedProductKey display("Zvu Test " + kDisplay, {2, 3, 10, 0});
  ScopedProductKey katakana("Zvu Test " + kKatakanaA, {1, 0, 0, 0});
  ScopedProductKey wide("Zvu Test " + kWideCapitalA, {1, 0, 0, 0});
  auto update = [](const std::string& name) {
    return "<update><product>" + name + "</product><description>" + kDisplay +
           "</description><major>2</major><minor>3</minor><build>11</build></update>";
  };
  zvu::UpdateCatalogue catalogue;
  ASSERT_TRUE(catalogue.ParseCatalogue(
      "<c><updates>" + update("Zvu Test " + kDisplay) + update("Zvu Test " + kKatakanaDi) +
      update("zvu test " + kWideSmallA) + "</updates></c>"));
  ASSERT_EQ(catalogue.ApplicableUpdates().size(), 2u);
  EXPECT_EQ(catalogue.ApplicableUpdates().front().name, "Zvu Test " + kDisplay);
  EXPECT_EQ(catalogue.ApplicableUpdates().front().description, kDisplay);
  EXPECT_TRUE(catalogue.ApplicableUpdates().front().IsApplicableUpdate());
  EXPECT_EQ(catalogue.ApplicableUpdates().back().name, "zvu test " + kWideSmallA);

  catalogue.ReadInstalledProducts();
  bool found = false;
  for (const zvu::CatalogueEntry& entry : catalogue.InstalledProducts()) {
    found = found || entry.name == display.name();
  }
  EXPECT_TRUE(found);
}

}  // namespace
