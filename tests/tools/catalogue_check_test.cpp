#include "catalogue_check.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installed_argument.h"
#include "product_keys.h"
#include "update_catalogue.h"

namespace {

using zvu::CheckCatalogue;
using zvu::CheckReport;
using zvu::InstalledProduct;

constexpr char kDigest[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

std::string Element(const std::string& name, const std::string& text) {
  return "<" + name + ">" + text + "</" + name + ">";
}

// An update with every field written well; `extra` is appended inside it.
std::string GoodUpdate(const std::string& product, const std::string& major,
                       const std::string& minor, const std::string& build,
                       const std::string& extra = "") {
  return "<update>" + Element("product", product) + Element("description", "Fixes") +
         Element("major", major) + Element("minor", minor) + Element("build", build) +
         Element("subbuild", "0") + Element("url", "http://h.example/files/a.msi") +
         Element("size", "4096") + Element("sha256", kDigest) + extra + "</update>";
}

std::string Catalogue(const std::string& updates) {
  return "<?xml version=\"1.0\"?>\r\n<catalogue><products/><updates>" + updates +
         "</updates></catalogue>\r\n";
}

bool Has(const CheckReport& report, const std::string& part) {
  return report.Output().find(part) != std::string::npos;
}

class CatalogueCheck : public ::testing::Test {
 protected:
  void SetUp() override { CoInitialize(nullptr); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(CatalogueCheck, WellWrittenCatalogueIsCleanAndSaysWhoIsOffered) {
  const std::vector<InstalledProduct> installed = {
      {"alpha", {1, 0, 5, 0}}, {"Alpha", {1, 1, 0, 9}}, {"Alpha", {2, 0, 0, 0}}};
  const CheckReport report = CheckCatalogue(Catalogue(GoodUpdate("Alpha", "1", "1", "0") +
                                                      GoodUpdate("Beta", "3", "2", "1")),
                                            installed);
  EXPECT_EQ(report.ExitStatus(), 0) << report.Output();
  EXPECT_TRUE(Has(report, "update 1: \"Alpha\" 1.1.0.0, 4096 bytes, http://h.example/files/a.msi\n"
                          "  offered to alpha 1.0.5.0\n"
                          "  not offered to Alpha 1.1.0.9: not newer"))
      << report.Output();
  EXPECT_TRUE(Has(report, "not offered to Alpha 2.0.0.0: another major version"));
  EXPECT_TRUE(Has(report, "  no installed version of \"Beta\" given\n"));
  EXPECT_TRUE(Has(report, "0 products, 2 updates\nresult: clean\n"));
}

// Each trap, alone in an otherwise good catalogue: what is said, and whether
// it is a warning (1) or an error (2).
struct Trap {
  const char* what;
  std::string updates;
  const char* expected;
  int status;
};

TEST_F(CatalogueCheck, EachTrapIsReported) {
  const std::vector<Trap> traps = {
      {"field as attribute", "<update product=\"Alpha\"/>" + GoodUpdate("Alpha", "1", "1", "0"),
       "warning: \"product\" is written as an attribute", 2 /* and so no product */},
      {"number with junk", GoodUpdate("Alpha", " 1x", "1", "0"),
       "warning: <major> \"1x\" is no plain number: it reads as 1", 1},
      {"number out of range", GoodUpdate("Alpha", "1", "4294967297", "0"),
       "warning: <minor> 4294967297 is out of range (at most 2147483647)", 1},
      {"negative number", GoodUpdate("Alpha", "1", "-1", "0"),
       "warning: <minor> \"-1\" is negative: it reads as 4294967295", 1},
      {"empty number", GoodUpdate("Alpha", "1", "", "1"), "warning: <minor> is empty", 1},
      {"unknown element", GoodUpdate("Alpha", "1", "1", "0", "<verison>2</verison>"),
       "warning: unknown element <verison> is ignored", 1},
      {"repeated element", GoodUpdate("Alpha", "1", "1", "0", "<major>9</major>"),
       "warning: <major> appears again: only the first one is read", 1},
      {"missing url",
       "<update><product>Alpha</product><major>1</major><minor>1</minor><size>1</size>"
       "<sha256>" + std::string(kDigest) + "</sha256></update>",
       "error: no <url>", 2},
      {"url without http", GoodUpdate("Alpha", "1", "1", "0", "").replace(
                               GoodUpdate("Alpha", "1", "1", "0", "").find("http://"), 7, "ftp://"),
       "does not begin with http:// or https://", 2},
      {"url with a port", GoodUpdate("Alpha", "1", "1", "0").replace(
                              GoodUpdate("Alpha", "1", "1", "0").find("h.example"), 9,
                              "h.example:8443"),
       "warning: the url names port 8443", 1},
      {"missing size",
       "<update><product>Alpha</product><major>1</major><minor>1</minor>"
       "<url>http://h/a.msi</url><sha256>" + std::string(kDigest) + "</sha256></update>",
       "warning: no <size>", 1},
      {"duplicate", GoodUpdate("Alpha", "1", "1", "0") + GoodUpdate("ALPHA", "1", "1", "0"),
       "warning: the same product and version as update 1", 1},
      {"newer than nothing", GoodUpdate("Alpha", "1", "0", "0"),
       "warning: version 1.0.0.0 is newer than no installed version", 1},
      {"not encodable", GoodUpdate("Alpha", "1", "1", "0").replace(
                            GoodUpdate("Alpha", "1", "1", "0").find("Fixes"), 5, "&#x4E2D;"),
       "warning: <description> holds characters that code page", 1},
      {"utf-8 text", GoodUpdate("Alpha", "1", "1", "0").replace(
                         GoodUpdate("Alpha", "1", "1", "0").find("Fixes"), 5, "\xC3\xA9t\xC3\xA9"),
       "warning: the text looks like UTF-8", 1},
      {"missing sha256",
       "<update><product>Alpha</product><major>1</major><minor>1</minor><size>1</size>"
       "<url>http://h/a.msi</url></update>",
       "warning: no <sha256>", 1},
      {"malformed sha256", GoodUpdate("Alpha", "1", "1", "0").replace(
                               GoodUpdate("Alpha", "1", "1", "0").find(kDigest), 64, "abc"),
       "error: <sha256> is not 64 hexadecimal digits", 2},
      {"query in the file name", GoodUpdate("Alpha", "1", "1", "0").replace(
                                     GoodUpdate("Alpha", "1", "1", "0").find("a.msi"), 5,
                                     "a.msi?v=2"),
       "error: the url's last path segment (with any query) is no usable file name", 2},
  };
  const std::vector<InstalledProduct> installed = {{"Alpha", {1, 0, 0, 0}}};
  for (const Trap& trap : traps) {
    const CheckReport report = CheckCatalogue(Catalogue(trap.updates), installed);
    EXPECT_TRUE(Has(report, trap.expected)) << trap.what << "\n" << report.Output();
    EXPECT_EQ(report.ExitStatus(), trap.status) << trap.what << "\n" << report.Output();
  }
}

TEST_F(CatalogueCheck, TextsTheProgramsCannotReadAreErrors) {
  for (const std::string& text :
       {std::string(), std::string("<catalogue><updates>"), std::string("<a>\0</a>", 8)}) {
    const CheckReport report = CheckCatalogue(text, {});
    EXPECT_EQ(report.ExitStatus(), 2) << report.Output();
  }
  // Well-formed, but the service hands it to no client; the character
  // reference is the way to write the letter.
  const CheckReport endByte =
      CheckCatalogue("<catalogue><products/><updates/><x>Caf\xFF</x></catalogue>", {});
  EXPECT_TRUE(Has(endByte, "error: the text holds the byte 0xFF at 38,")) << endByte.Output();
  EXPECT_EQ(endByte.ExitStatus(), 2);
  const CheckReport reference =
      CheckCatalogue("<catalogue><products/><updates/><x>Caf&#255;</x></catalogue>", {});
  EXPECT_FALSE(Has(reference, "0xFF")) << reference.Output();

  const CheckReport noUpdates = CheckCatalogue("<catalogue><products/></catalogue>", {});
  EXPECT_TRUE(Has(noUpdates, "warning: no <updates> element below the root"));
  EXPECT_EQ(noUpdates.ExitStatus(), 1);
}

// The checker and the service decide with the same code: for every update,
// "offered" agrees with what the service's check finds applicable.
TEST_F(CatalogueCheck, AgreesWithTheServicesDecision) {
  zvu::test::ScopedProductKey key("Zvu Test Agree", {2, 3, 10, 7});
  const std::vector<std::string> versions = {"2.3.11.0", "2.3.10.9", "2.4.0.0", "2.2.99.0",
                                             "3.0.0.0",  "1.9.9.9",  "2.3.9.99", "2.3.10.0"};
  for (const std::string& version : versions) {
    const size_t d1 = version.find('.'), d2 = version.find('.', d1 + 1),
                 d3 = version.find('.', d2 + 1);
    const std::string text = Catalogue(GoodUpdate(
        "zvu test agree", version.substr(0, d1), version.substr(d1 + 1, d2 - d1 - 1),
        version.substr(d2 + 1, d3 - d2 - 1), ""));
    zvu::UpdateCatalogue parsed;
    ASSERT_TRUE(parsed.ParseCatalogue(text));
    ASSERT_EQ(parsed.ApplicableUpdates().size(), 1u);
    const bool serviceOffers = parsed.ApplicableUpdates().front().IsApplicableUpdate();

    const CheckReport report =
        CheckCatalogue(text, {{"Zvu Test Agree", {2, 3, 10, 7}}});
    EXPECT_EQ(Has(report, "  offered to Zvu Test Agree 2.3.10.7"), serviceOffers)
        << version << "\n" << report.Output();
  }
}

TEST(InstalledArgument, ReadsNameAndFourNumbersOnly) {
  const auto alpha = zvu::ParseInstalledArgument("Zelko Alpha=1.2.3.4294967295");
  ASSERT_TRUE(alpha);
  EXPECT_EQ(alpha->name, "Zelko Alpha");
  EXPECT_EQ(alpha->version, (zvu::ProductVersion{1, 2, 3, 4294967295u}));
  EXPECT_EQ(zvu::ParseInstalledArgument("a=b=1.0.0.0")->name, "a=b");
  for (const char* bad : {"Alpha", "=1.0.0.0", "Alpha=1.0.0", "Alpha=1.0.0.0.0", "Alpha=1.0.0.x",
                          "Alpha=1..0.0", "Alpha=1.0.0.4294967296", "Alpha=-1.0.0.0",
                          "Alpha=1.0.0.0 "}) {
    EXPECT_FALSE(zvu::ParseInstalledArgument(bad)) << bad;
  }
}

}  // namespace
