#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "product_keys.h"
#include "product_registry.h"
#include "update_catalogue.h"

namespace {

using zvu::CatalogueEntry;
using zvu::ProductVersion;
using zvu::UpdateCatalogue;
using zvu::UpdateEntry;
using zvu::test::ScopedProductKey;

std::string Element(const std::string& name, const std::string& text) {
  return "<" + name + ">" + text + "</" + name + ">";
}

std::string UpdateXml(const std::string& product, const std::string& version,
                      const std::string& extra = "") {
  // version "a.b.c.d"
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t dot; (dot = version.find('.', start)) != std::string::npos; start = dot + 1) {
    parts.push_back(version.substr(start, dot - start));
  }
  parts.push_back(version.substr(start));
  return "<update>" + Element("product", product) + Element("major", parts[0]) +
         Element("minor", parts[1]) + Element("build", parts[2]) +
         Element("subbuild", parts[3]) + extra + "</update>";
}

std::string Catalogue(const std::string& products, const std::string& updates) {
  return "<?xml version=\"1.0\"?>\r\n<catalogue>\r\n" + products + "\r\n" + updates +
         "\r\n</catalogue>\r\n";
}

std::vector<std::string> Names(const std::list<UpdateEntry>& updates) {
  std::vector<std::string> names;
  for (const UpdateEntry& u : updates) names.push_back(u.name);
  return names;
}

std::vector<std::string> Names(const std::list<CatalogueEntry>& products) {
  std::vector<std::string> names;
  for (const CatalogueEntry& p : products) names.push_back(p.name);
  return names;
}

// A catalogue object holding one offered product and one update from an
// earlier parse, to see which lists a failed parse leaves alone.
void FillWithEarlierParse(UpdateCatalogue& catalogue) {
  catalogue.OfferedProducts().clear();
  catalogue.ApplicableUpdates().clear();
  CatalogueEntry earlierOffer;
  earlierOffer.name = "earlier offer";
  catalogue.OfferedProducts().push_back(earlierOffer);
  UpdateEntry earlierUpdate;
  earlierUpdate.name = "earlier update";
  catalogue.ApplicableUpdates().push_back(earlierUpdate);
}

TEST(ParseCatalogue, ReadsEveryFieldInDocumentOrder) {
  ScopedProductKey quillet("Zvu Test Quillet", {2, 3, 10, 0});
  const std::string text = Catalogue(
      "<products>"
      "<product><size>1048576</size><product>Zvu Test Quillet</product>"
      "<description>Web sign-on</description><major>3</major><minor>1</minor>"
      "<build>2</build><subbuild>4</subbuild><unknown>x</unknown></product>"
      "\r\n  <product><product>Zvu Test Other</product></product>"
      "</products>",
      "<updates>" +
          UpdateXml("Zvu Test Quillet", "2.3.11.0",
                    Element("description", "Fixes") + Element("size", "2048") +
                        Element("url", "http://h/files/q.msi?x=1&amp;y=2") +
                        Element("options", "/qn LOG=&lt;log_file_name&gt;") +
                        Element("issfile", "[InstallShield Silent]\r\nVersion=v7.00") +
                        Element("sha256", "00FFab")) +
          UpdateXml("Zvu Test Quillet", "2.3.12.0") + "</updates>");

  UpdateCatalogue catalogue;
  ASSERT_TRUE(catalogue.ParseCatalogue(text));

  ASSERT_EQ(Names(catalogue.OfferedProducts()),
            (std::vector<std::string>{"Zvu Test Quillet", "Zvu Test Other"}));
  const CatalogueEntry& offer = catalogue.OfferedProducts().front();
  EXPECT_EQ(offer.description, "Web sign-on");
  EXPECT_EQ(offer.version, (ProductVersion{3, 1, 2, 4}));
  EXPECT_EQ(offer.size, 1048576u);
  const CatalogueEntry& bare = catalogue.OfferedProducts().back();
  EXPECT_EQ(bare.description, "");
  EXPECT_EQ(bare.version, (ProductVersion{0, 0, 0, 0}));
  EXPECT_EQ(bare.size, 0u);

  ASSERT_EQ(catalogue.ApplicableUpdates().size(), 2u);
  const UpdateEntry& update = catalogue.ApplicableUpdates().front();
  EXPECT_EQ(update.version, (ProductVersion{2, 3, 11, 0}));
  EXPECT_EQ(update.description, "Fixes");
  EXPECT_EQ(update.size, 2048u);
  EXPECT_EQ(update.url, "http://h/files/q.msi?x=1&y=2");
  EXPECT_EQ(update.options, "/qn LOG=<log_file_name>");
  EXPECT_NE(update.issfile.find("[InstallShield Silent]"), std::string::npos);
  EXPECT_NE(update.issfile.find("Version=v7.00"), std::string::npos);
  EXPECT_EQ(update.sha256, "00FFab");  // as written; checked only when the file is verified
  EXPECT_EQ(catalogue.ApplicableUpdates().back().sha256, "");  // none listed
  EXPECT_TRUE(update.offered);
  EXPECT_TRUE(update.installPending);
  EXPECT_FALSE(update.downloaded);
  EXPECT_FALSE(update.installed);
  EXPECT_TRUE(update.IsApplicableUpdate());
  EXPECT_TRUE(catalogue.InstalledProducts().empty());  // not touched
}

TEST(ParseCatalogue, MissingListsAreEmptyAndNotAFailure) {
  UpdateCatalogue catalogue;
  FillWithEarlierParse(catalogue);
  ASSERT_TRUE(catalogue.ParseCatalogue(
      "<anything><products><product><product>A</product></product></products></anything>"));
  EXPECT_EQ(Names(catalogue.OfferedProducts()), (std::vector<std::string>{"A"}));
  EXPECT_TRUE(catalogue.ApplicableUpdates().empty());

  FillWithEarlierParse(catalogue);
  ASSERT_TRUE(catalogue.ParseCatalogue("<root/>"));
  EXPECT_TRUE(catalogue.OfferedProducts().empty());
  EXPECT_TRUE(catalogue.ApplicableUpdates().empty());

  // Only direct children of the root count.
  ASSERT_TRUE(catalogue.ParseCatalogue(
      "<root><x><products><product><product>A</product></product></products></x></root>"));
  EXPECT_TRUE(catalogue.OfferedProducts().empty());
}

TEST(ParseCatalogue, KeepsUpdatesForInstalledProductsOnlyWhateverTheirVersion) {
  ScopedProductKey quillet("Zvu Test Quillet", {2, 3, 10, 0});
  ScopedProductKey agent("Zvu Test Agent", {1, 0, 0, 0});
  const std::string text = Catalogue(
      "", "<updates>" + UpdateXml("zvu test QUILLET", "2.3.11.0") +
              UpdateXml("Zvu Test Missing", "9.0.0.0") + UpdateXml("Zvu Test Agent", "1.0.0.0") +
              UpdateXml("Zvu Test Quillet", "2.4.0.0") + UpdateXml("Zvu Test Quill", "2.4.0.0") +
              UpdateXml("", "2.4.0.0") + "</updates>");

  UpdateCatalogue catalogue;
  ASSERT_TRUE(catalogue.ParseCatalogue(text));
  EXPECT_EQ(Names(catalogue.ApplicableUpdates()),
            (std::vector<std::string>{"zvu test QUILLET", "Zvu Test Agent", "Zvu Test Quillet"}));
  std::vector<bool> applicable;
  for (const UpdateEntry& u : catalogue.ApplicableUpdates()) {
    applicable.push_back(u.IsApplicableUpdate());
  }
  EXPECT_EQ(applicable, (std::vector<bool>{true, false, true}));
}

TEST(ParseCatalogue, KeepsUpdatesForProductsOfEitherRegistryView) {
  ScopedProductKey wow("Zvu Test Wow Agent", {1, 0, 0, 0}, KEY_WOW64_32KEY);
  ScopedProductKey both64("Zvu Test Both Agent", {1, 0, 0, 0});
  ScopedProductKey both32("Zvu Test Both Agent", {1, 0, 0, 0}, KEY_WOW64_32KEY);
  UpdateCatalogue catalogue;
  ASSERT_TRUE(catalogue.ParseCatalogue(Catalogue(
      "", "<updates>" + UpdateXml("zvu test wow agent", "1.0.1.0") +
              UpdateXml("Zvu Test Both Agent", "1.0.1.0") + "</updates>")));
  EXPECT_EQ(Names(catalogue.ApplicableUpdates()),
            (std::vector<std::string>{"zvu test wow agent", "Zvu Test Both Agent"}));
  for (const UpdateEntry& u : catalogue.ApplicableUpdates()) {
    EXPECT_TRUE(u.IsApplicableUpdate()) << u.name;
  }
}

TEST(ParseCatalogue, WithoutProductsKeyEveryUpdateIsDropped) {
  if (zvu::test::ProductsKeyExists()) GTEST_SKIP() << "Software\\Zelko is in use by another test";
  UpdateCatalogue catalogue;
  FillWithEarlierParse(catalogue);
  ASSERT_TRUE(catalogue.ParseCatalogue(
      Catalogue("", "<updates>" + UpdateXml("Zvu Test Quillet", "2.3.11.0") + "</updates>")));
  EXPECT_TRUE(catalogue.ApplicableUpdates().empty());
}

TEST(ParseCatalogue, NumberFieldsTakeLeadingDigits) {
  UpdateCatalogue catalogue;
  ASSERT_TRUE(catalogue.ParseCatalogue(
      "<c><products><product>"
      "<major> 7abc</major><minor>-1</minor><build>99999999999</build>"
      "<subbuild>x5</subbuild><size></size>"
      "</product><product><major>\r\n\t12\r\n</major><size>-2147483649</size><minor/>"
      "</product></products></c>"));
  ASSERT_EQ(catalogue.OfferedProducts().size(), 2u);
  const CatalogueEntry& first = catalogue.OfferedProducts().front();
  EXPECT_EQ(first.version, (ProductVersion{7, 0xFFFFFFFFu, 0x7FFFFFFFu, 0}));
  EXPECT_EQ(first.size, 0u);
  const CatalogueEntry& second = catalogue.OfferedProducts().back();
  EXPECT_EQ(second.version.major, 12u);
  EXPECT_EQ(second.version.minor, 0u);
  EXPECT_EQ(second.size, 0x80000000u);
}

TEST(ParseCatalogue, AttributesAreNotReadAndOnlyElementsAreEntries) {
  UpdateCatalogue catalogue;
  ASSERT_TRUE(catalogue.ParseCatalogue(
      "<c><products>"
      "<product product=\"Attr\" major=\"3\"/>"
      "<!-- a comment is no product -->"
      "stray text<?pi is no product?>"
      "<offer><product>Named otherwise</product></offer>"
      "</products></c>"));
  ASSERT_EQ(Names(catalogue.OfferedProducts()),
            (std::vector<std::string>{"", "Named otherwise"}));
  EXPECT_EQ(catalogue.OfferedProducts().front().version.major, 0u);
}

// Each field is the first child element of its name; deeper elements and
// later duplicates are not read.
TEST(ParseCatalogue, FieldIsTheFirstChildElementOfItsName) {
  UpdateCatalogue catalogue;
  ASSERT_TRUE(catalogue.ParseCatalogue(
      "<c><products><product>"
      "<x><product>Nested</product><major>9</major></x>"
      "<major>1</major><product>First</product><major>2</major><product>Second</product>"
      "<a:minor xmlns:a=\"urn:a\">4</a:minor>"
      "</product></products></c>"));
  ASSERT_EQ(catalogue.OfferedProducts().size(), 1u);
  EXPECT_EQ(catalogue.OfferedProducts().front().name, "First");
  EXPECT_EQ(catalogue.OfferedProducts().front().version, (ProductVersion{1, 0, 0, 0}));
}

TEST(ParseCatalogue, TypedElementsAreReadAsText) {
  UpdateCatalogue catalogue;
  ASSERT_TRUE(catalogue.ParseCatalogue(
      "<c xmlns:dt=\"urn:schemas-microsoft-com:datatypes\"><products><product>"
      "<major dt:dt=\"int\">5</major><product dt:dt=\"string\">Typed</product>"
      "</product></products></c>"));
  ASSERT_EQ(catalogue.OfferedProducts().size(), 1u);
  EXPECT_EQ(catalogue.OfferedProducts().front().name, "Typed");
  EXPECT_EQ(catalogue.OfferedProducts().front().version.major, 5u);
}

TEST(ParseCatalogue, ValueThatCannotBeReadEndsTheParseKeepingWhatWasRead) {
  ScopedProductKey quillet("Zvu Test Quillet", {2, 3, 10, 0});
  const std::string badMajor = "<major dt:dt=\"int\">not a number</major>";
  UpdateCatalogue catalogue;

  // In the products: those before stay, the updates keep the earlier parse.
  FillWithEarlierParse(catalogue);
  EXPECT_FALSE(catalogue.ParseCatalogue(
      "<c xmlns:dt=\"urn:schemas-microsoft-com:datatypes\"><products>"
      "<product><product>Good</product></product>"
      "<product><product>Bad</product>" + badMajor + "</product>"
      "<product><product>After</product></product>"
      "</products><updates>" + UpdateXml("Zvu Test Quillet", "2.3.11.0") +
      "</updates></c>"));
  EXPECT_EQ(Names(catalogue.OfferedProducts()), (std::vector<std::string>{"Good"}));
  EXPECT_EQ(Names(catalogue.ApplicableUpdates()), (std::vector<std::string>{"earlier update"}));

  // In the updates: the products are complete, the updates read so far stay.
  FillWithEarlierParse(catalogue);
  EXPECT_FALSE(catalogue.ParseCatalogue(
      "<c xmlns:dt=\"urn:schemas-microsoft-com:datatypes\"><products>"
      "<product><product>Good</product></product></products><updates>" +
      UpdateXml("Zvu Test Quillet", "2.3.11.0") +
      "<update><product>Zvu Test Quillet</product>" + badMajor + "</update>" +
      UpdateXml("Zvu Test Quillet", "2.4.0.0") + "</updates></c>"));
  EXPECT_EQ(Names(catalogue.OfferedProducts()), (std::vector<std::string>{"Good"}));
  ASSERT_EQ(catalogue.ApplicableUpdates().size(), 1u);
  EXPECT_EQ(catalogue.ApplicableUpdates().front().version.minor, 3u);
}

TEST(ParseCatalogue, TextThatIsNoDocumentLeavesBothListsAlone) {
  const std::string good = Catalogue("<products><product><product>A</product></product></products>",
                                     "<updates/>");
  const std::vector<std::string> rejected = {
      "",
      "not xml at all",
      "<catalogue><products>",                    // cut short
      "<a></b>",                                  // mismatched
      good.substr(0, good.size() / 2),
      std::string("<c><products><product><description>a\0b</description></product></products></c>",
                  80),
      good + std::string(1, '\0'),
      "<c><products><product><description>&#0;</description></product></products></c>",
  };
  for (const std::string& text : rejected) {
    UpdateCatalogue catalogue;
    FillWithEarlierParse(catalogue);
    EXPECT_FALSE(catalogue.ParseCatalogue(text)) << text;
    EXPECT_EQ(Names(catalogue.OfferedProducts()), (std::vector<std::string>{"earlier offer"}));
    EXPECT_EQ(Names(catalogue.ApplicableUpdates()), (std::vector<std::string>{"earlier update"}));
  }
}

TEST(ParseCatalogue, AnsiTextSurvivesTheRoundTrip) {
  if (GetACP() != 1252) GTEST_SKIP() << "expects the Western code page, not " << GetACP();
  UpdateCatalogue catalogue;
  // 8-bit characters in the text itself, and a character reference; a
  // character outside the code page becomes '?'.
  ASSERT_TRUE(catalogue.ParseCatalogue(
      "<c><products><product><product>Caf\xE9</product>"
      "<description>\xC4rger \x80 \xFF &#233; &#x4E2D;</description>"
      "</product></products></c>"));
  ASSERT_EQ(catalogue.OfferedProducts().size(), 1u);
  EXPECT_EQ(catalogue.OfferedProducts().front().name, "Caf\xE9");
  EXPECT_EQ(catalogue.OfferedProducts().front().description, "\xC4rger \x80 \xFF \xE9 ?");
}

// Description text with 8-bit characters where the code page has them (no
// white space at either end: element text comes without it).
std::string LongDescription(size_t bytes) {
  const std::string pattern = GetACP() == 1252 ? "Zelko \xE9\xFC\x80." : "Zelko.";
  std::string description;
  description.reserve(bytes + pattern.size());
  while (description.size() < bytes) description += pattern;
  return description;
}

TEST(ParseCatalogue, FiftyMegabyteCatalogue) {
  ScopedProductKey quillet("Zvu Test Quillet", {2, 3, 10, 0});
  const std::string description = LongDescription(52u << 10);
  std::string products = "<products>";
  for (int i = 0; i < 1000; ++i) {
    products += "<product><product>P" + std::to_string(i) + "</product>" +
                Element("description", description) + "</product>";
  }
  products += "</products>";
  std::string updates = "<updates>";
  for (int i = 0; i < 2000; ++i) {
    updates += UpdateXml(i % 2 ? "Zvu Test Quillet" : "Zvu Test Absent",
                         "2.3." + std::to_string(i) + ".0");
  }
  updates += "</updates>";
  const std::string text = Catalogue(products, updates);
  ASSERT_GT(text.size(), 50u << 20);

  UpdateCatalogue catalogue;
  ASSERT_TRUE(catalogue.ParseCatalogue(text));
  ASSERT_EQ(catalogue.OfferedProducts().size(), 1000u);
  EXPECT_EQ(catalogue.OfferedProducts().back().name, "P999");
  for (const CatalogueEntry& offer : catalogue.OfferedProducts()) {
    ASSERT_TRUE(offer.description == description) << offer.name;
  }
  ASSERT_EQ(catalogue.ApplicableUpdates().size(), 1000u);
  EXPECT_EQ(catalogue.ApplicableUpdates().front().version.build, 1u);
  EXPECT_EQ(catalogue.ApplicableUpdates().back().version.build, 1999u);
}

// One text of several megabytes comes through whole, and replaces what an
// earlier parse left. (Wine's MSXML refuses a single text of more than
// 10,000,000 bytes in UTF-8 as malformed; the description stays below that.)
TEST(ParseCatalogue, SeveralMegabyteSingleTextIsReadWhole) {
  const std::string description = LongDescription(6'000'000);
  UpdateCatalogue catalogue;
  FillWithEarlierParse(catalogue);
  ASSERT_TRUE(catalogue.ParseCatalogue(Catalogue("<products><product><product>Big</product>" +
                                                     Element("description", description) +
                                                     "</product></products>",
                                                 "")));
  ASSERT_EQ(Names(catalogue.OfferedProducts()), (std::vector<std::string>{"Big"}));
  EXPECT_TRUE(catalogue.OfferedProducts().front().description == description);
  EXPECT_TRUE(catalogue.ApplicableUpdates().empty());
}

// A thread that joined the multithreaded apartment can parse as well.
TEST(ParseCatalogue, WorksOnAThreadInTheMultithreadedApartment) {
  bool parsed = false;
  size_t offered = 0;
  std::thread worker([&] {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    UpdateCatalogue catalogue;
    parsed = catalogue.ParseCatalogue(
        "<c><products><product><product>A</product></product></products></c>");
    offered = catalogue.OfferedProducts().size();
    if (SUCCEEDED(hr)) CoUninitialize();
  });
  worker.join();
  EXPECT_TRUE(parsed);
  EXPECT_EQ(offered, 1u);
}

TEST(ParseCatalogue, LeavesTheThreadsComInitialisationAsItFoundIt) {
  // A service thread parses every 50 s for years: each parse must undo its
  // own COM initialisation, or the thread's count only ever grows.
  HRESULT first = E_FAIL, again = E_FAIL, afterOwn = E_FAIL;
  bool parsed = false;
  std::thread worker([&] {
    first = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (int i = 0; i < 3; ++i) {
      UpdateCatalogue catalogue;
      parsed = catalogue.ParseCatalogue("<c><products/></c>");
    }
    CoUninitialize();
    // Balanced: the thread's own uninitialisation was the last, so COM starts afresh.
    again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CoUninitialize();
    {
      UpdateCatalogue catalogue;
      catalogue.ParseCatalogue("<c/>");
    }
    // A thread without COM of its own is left without it after a parse.
    afterOwn = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(afterOwn)) CoUninitialize();
  });
  worker.join();
  EXPECT_EQ(first, S_OK);
  EXPECT_TRUE(parsed);
  EXPECT_EQ(again, S_OK);
  EXPECT_EQ(afterOwn, S_OK);
}

}  // namespace
