#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "product_keys.h"
#include "temp_files.h"
#include "test_env.h"
#include "update_catalogue.h"

namespace {

using zvu::CatalogueEntry;
using zvu::UpdateCatalogue;
using zvu::UpdateEntry;

// The service reads catalogues as local system and the client as its user:
// whatever a catalogue names outside its own text is neither read nor
// contacted, and the rest of the catalogue reads as it would without it.

constexpr char kSecret[] = "ZVU-ENTITY-SECRET";

// A path of the fixture server that no other test or run asks for.
std::string UniquePath(const char* what) {
  std::string path = "/zvu-";
  path += what;
  path += '-';
  path += std::to_string(GetCurrentProcessId());
  path += '-';
  path += std::to_string(GetTickCount64());
  return path;
}

// A catalogue with one offered product and one update for an installed
// product; doctype goes before the root, reference into the product's
// description between two letters.
std::string CatalogueWith(const std::string& doctype, const std::string& reference) {
  return "<?xml version=\"1.0\"?>\r\n" + doctype +
         "\r\n<catalogue><products><product><product>Zvu Test Quillet</product>"
         "<description>[" + reference + "]</description><major>3</major>"
         "</product></products><updates><update><product>Zvu Test Quillet</product>"
         "<major>2</major><minor>4</minor><url>http://h/q.msi</url></update></updates>"
         "</catalogue>\r\n";
}

bool Requested(const std::string& path) {
  for (const std::string& line : zvu::test::ServedRequests()) {
    if (line.find(path) != std::string::npos) return true;
  }
  return false;
}

struct ExternalCase {
  const char* what;
  std::string doctype;
  std::string reference;
  std::string servedPath;  // what the fixture server would log; empty for none
};

TEST(CatalogueExternals, NothingOutsideTheCatalogueIsReadOrContacted) {
  zvu::test::ScopedProductKey quillet("Zvu Test Quillet", {2, 3, 0, 0});
  const std::string secretFile = zvu::test::TempFilePath("zvu_entity_secret.txt");
  ASSERT_TRUE(zvu::test::WriteBytes(secretFile, kSecret));
  std::string fileUrl = "file:///" + secretFile;
  for (char& c : fileUrl) {
    if (c == '\\') c = '/';
  }
  const bool served = !zvu::test::FixtureDirUnix().empty();
  const std::string entityPath = UniquePath("entity");
  const std::string dtdPath = UniquePath("dtd");
  const std::string parameterPath = UniquePath("parameter");

  const std::vector<ExternalCase> cases = {
      {"a local file by URL", "<!DOCTYPE catalogue [<!ENTITY x SYSTEM \"" + fileUrl + "\">]>",
       "&x;", ""},
      {"a local file by path", "<!DOCTYPE catalogue [<!ENTITY x SYSTEM \"" + secretFile + "\">]>",
       "&x;", ""},
      {"a UNC path", "<!DOCTYPE catalogue [<!ENTITY x SYSTEM \"\\\\zvu-no-host\\share\\x.txt\">]>",
       "&x;", ""},
      {"an http address",
       "<!DOCTYPE catalogue [<!ENTITY x SYSTEM \"http://127.0.0.1" + entityPath + "\">]>", "&x;",
       entityPath},
      {"an external DTD", "<!DOCTYPE catalogue SYSTEM \"http://127.0.0.1" + dtdPath + "\">", "",
       dtdPath},
      {"an external parameter entity",
       "<!DOCTYPE catalogue [<!ENTITY % p SYSTEM \"http://127.0.0.1" + parameterPath +
           "\"> %p;]>",
       "", parameterPath},
  };
  for (const ExternalCase& c : cases) {
    SCOPED_TRACE(c.what);
    UpdateCatalogue catalogue;
    ASSERT_TRUE(catalogue.ParseCatalogue(CatalogueWith(c.doctype, c.reference)));
    ASSERT_EQ(catalogue.OfferedProducts().size(), 1u);
    const CatalogueEntry& offer = catalogue.OfferedProducts().front();
    EXPECT_EQ(offer.name, "Zvu Test Quillet");
    EXPECT_EQ(offer.version.major, 3u);
    EXPECT_EQ(offer.description.find(kSecret), std::string::npos) << offer.description;
    EXPECT_EQ(offer.description.front(), '[');
    EXPECT_EQ(offer.description.back(), ']');
    ASSERT_EQ(catalogue.ApplicableUpdates().size(), 1u);
    const UpdateEntry& update = catalogue.ApplicableUpdates().front();
    EXPECT_EQ(update.version.minor, 4u);
    EXPECT_EQ(update.url, "http://h/q.msi");
    if (served && !c.servedPath.empty()) {
      EXPECT_FALSE(Requested(c.servedPath));
    }
  }
  DeleteFileA(secretFile.c_str());
  if (!served) GTEST_SKIP() << "outside the test environment nothing tells whether an address was asked";
}

// Entities and declarations of the catalogue's own DTD keep working.
TEST(CatalogueExternals, TheCataloguesOwnDtdStillApplies) {
  zvu::test::ScopedProductKey quillet("Zvu Test Quillet", {2, 3, 0, 0});
  const std::string doctype =
      "<!DOCTYPE catalogue [\r\n"
      "  <!ENTITY vendor \"Zelko Vuro\">\r\n"
      "  <!ENTITY product \"&vendor; Quillet\">\r\n"
      "  <!ENTITY version \"2.4\">\r\n"
      "  <!ELEMENT catalogue ANY>\r\n"
      "  <!ATTLIST update kind CDATA \"patch\">\r\n"
      "]>";
  UpdateCatalogue catalogue;
  ASSERT_TRUE(catalogue.ParseCatalogue(
      "<?xml version=\"1.0\"?>\r\n" + doctype +
      "\r\n<catalogue><products><product><product>&product;</product>"
      "<description>From &vendor; &amp; friends</description></product></products>"
      "<updates><update><product>Zvu Test Quillet</product>"
      "<description>&vendor; &version;</description><major>2</major><minor>4</minor>"
      "</update></updates></catalogue>"));
  ASSERT_EQ(catalogue.OfferedProducts().size(), 1u);
  EXPECT_EQ(catalogue.OfferedProducts().front().name, "Zelko Vuro Quillet");
  EXPECT_EQ(catalogue.OfferedProducts().front().description, "From Zelko Vuro & friends");
  ASSERT_EQ(catalogue.ApplicableUpdates().size(), 1u);
  EXPECT_EQ(catalogue.ApplicableUpdates().front().description, "Zelko Vuro 2.4");
}

}  // namespace
