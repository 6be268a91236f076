#include "check_for_updates.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "log_capture.h"
#include "product_keys.h"
#include "program_log.h"
#include "test_env.h"
#include "wait_until.h"
#include "unique_handle.h"

namespace {

using zvu::test::InstalledVersion;
using zvu::test::ScopedProductKey;

std::string CatalogueWithUpdate(const std::string& product, int major, int minor, int build) {
  return "<?xml version=\"1.0\"?>\r\n<catalogue>\r\n<products/>\r\n<updates>\r\n"
         "<update><product>" + product + "</product><description>Fixes \xE9t\xE9</description>"
         "<major>" + std::to_string(major) + "</major><minor>" + std::to_string(minor) +
         "</minor><build>" + std::to_string(build) + "</build><subbuild>0</subbuild>"
         "<url>http://" ZVU_TEST_UPDATE_HOST "/files/x.msi</url><size>4096</size></update>\r\n"
         "</updates>\r\n</catalogue>\r\n";
}

class CheckForUpdatesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(zvu::test::FixtureDirUnix().empty()) << "run inside the test environment";
    zvu::test::WriteFixtureFile("update.delay", "0");
    zvu::test::WriteFixtureFile("update.validators", "honour");
    CoInitialize(nullptr);
  }
  void TearDown() override {
    zvu::test::WriteFixtureFile("update.delay", "0");
    zvu::test::WriteFixtureFile("update.validators", "honour");
    zvu::test::WriteFixtureFile("update.fault", "");
    CoUninitialize();
  }
  // The status of the latest catalogue request, and whether it was conditional.
  static std::string LastAnswer() {
    const auto lines = zvu::test::CatalogueRequests();
    if (lines.empty()) return "";
    const std::string& line = lines.back();
    return line.substr(0, 3) + (line.find(" - -") == std::string::npos ? " conditional" : "");
  }
};

TEST_F(CheckForUpdatesTest, ApplicableUpdateKeepsTheCatalogueExactlyAsReceived) {
  ScopedProductKey product("Zvu Test Check", InstalledVersion{2, 3, 10, 0});
  const std::string catalogue = CatalogueWithUpdate("zvu test check", 2, 3, 11);
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", catalogue));

  std::string updateXml = "old";
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), S_OK);
  EXPECT_EQ(updateXml, catalogue);
}

// A 32-bit product on 64-bit Windows: its key is in the 32-bit registry view only.
TEST_F(CheckForUpdatesTest, ProductOfThe32BitRegistryViewIsOfferedItsUpdate) {
  ScopedProductKey product("Zvu Test Check Wow", InstalledVersion{2, 3, 10, 0}, KEY_WOW64_32KEY);
  const std::string catalogue = CatalogueWithUpdate("Zvu Test Check Wow", 2, 3, 11);
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", catalogue));
  std::string updateXml;
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), S_OK);
  EXPECT_EQ(updateXml, catalogue);
}

TEST_F(CheckForUpdatesTest, NothingApplicableOrNothingFetchedKeepsTheOldText) {
  ScopedProductKey product("Zvu Test Check", InstalledVersion{2, 3, 10, 0});
  std::string updateXml = "old";

  // Same version, a different major, and a product that is not installed.
  for (const std::string& catalogue :
       {CatalogueWithUpdate("Zvu Test Check", 2, 3, 10), CatalogueWithUpdate("Zvu Test Check", 3, 0, 0),
        CatalogueWithUpdate("Zvu Test Missing", 2, 3, 11)}) {
    ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", catalogue));
    EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), E_FAIL) << catalogue;
  }
  // A text that is no catalogue tells nothing about what is on offer.
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", "<not xml"));
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), zvu::kCheckInconclusive);
  // No catalogue on the server: the 404 page is not taken as a catalogue.
  DeleteFileA((zvu::test::FixtureDirWindows() + "\\update.xml").c_str());
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), zvu::kCheckInconclusive);
  EXPECT_EQ(updateXml, "old");
}

TEST_F(CheckForUpdatesTest, StalledTransferEndsAtTheWaitLimit) {
  ScopedProductKey product("Zvu Test Check", InstalledVersion{2, 3, 10, 0});
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", CatalogueWithUpdate("Zvu Test Check", 2, 3, 11)));
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.delay", "20"));

  zvu::test::LogCapture log("zvu_check_wait_limit");

  std::string updateXml = "old";
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr, 1500), zvu::kCheckInconclusive);
  const ULONGLONG elapsed = GetTickCount64() - start;
  EXPECT_GE(elapsed, 1500u);
  EXPECT_LT(elapsed, 12000u);
  EXPECT_EQ(updateXml, "old");

  // The log says that the check was abandoned, after the transfer's own records.
  const std::string text = log.Text();
  const std::string record = "Catalogue check given up: the transfer did not end within 1 s \r\n";
  ASSERT_GE(text.size(), record.size()) << text;
  EXPECT_EQ(text.substr(text.size() - record.size()), record) << text;
}

TEST_F(CheckForUpdatesTest, AnsweredCheckLogsNoWaitLimitRecord) {
  ScopedProductKey product("Zvu Test Check", InstalledVersion{2, 3, 10, 0});
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", CatalogueWithUpdate("Zvu Test Check", 2, 3, 11)));
  zvu::test::LogCapture log("zvu_check_answered");
  std::string updateXml;
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), S_OK);
  EXPECT_EQ(log.Text().find("Catalogue check given up"), std::string::npos) << log.Text();
}

TEST_F(CheckForUpdatesTest, StopRequestEndsTheWaitPromptly) {
  ScopedProductKey product("Zvu Test Check", InstalledVersion{2, 3, 10, 0});
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", CatalogueWithUpdate("Zvu Test Check", 2, 3, 11)));
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.delay", "20"));

  zvu::UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  // The stop comes once the request has reached the server, so the check is
  // inside its wait for the stalled catalogue.
  const size_t requestsBefore = zvu::test::ServedRequestCount();
  std::thread stopper([&stop, requestsBefore] {
    zvu::test::WaitUntil([&] { return zvu::test::ServedRequestCount() > requestsBefore; }, 10000);
    SetEvent(stop.get());
  });
  zvu::test::LogCapture log("zvu_check_stopped");
  std::string updateXml = "old";
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, stop.get()), zvu::kCheckInconclusive);
  // The HTTP client waits a few seconds at most for WinHTTP to close the stalled request.
  EXPECT_LT(GetTickCount64() - start, 10000u);
  stopper.join();
  EXPECT_EQ(updateXml, "old");
  // The administrator learns why the check has no outcome.
  EXPECT_NE(log.Text().find("Update check given up on stop \r\n"), std::string::npos) << log.Text();
}

TEST_F(CheckForUpdatesTest, UnchangedCatalogueAnswered304IsCheckedAsIfItArrivedAgain) {
  ScopedProductKey product("Zvu Test Check", InstalledVersion{2, 3, 10, 0});
  const std::string first = CatalogueWithUpdate("Zvu Test Check", 2, 3, 11);
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", first));
  zvu::KeptCatalogue kept;

  std::string updateXml = "old";
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr, &kept), S_OK);
  EXPECT_EQ(LastAnswer(), "200");
  EXPECT_EQ(updateXml, first);

  // Unchanged: the same result from the kept text, so the hand-off happens again.
  updateXml = "old";
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr, &kept), S_OK);
  EXPECT_EQ(LastAnswer(), "304 conditional");
  EXPECT_EQ(updateXml, first);

  // Changed after a 304: the new text counts.
  const std::string second = CatalogueWithUpdate("Zvu Test Check", 2, 3, 12);
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", second));
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr, &kept), S_OK);
  EXPECT_EQ(LastAnswer(), "200 conditional");
  EXPECT_EQ(updateXml, second);

  // Changed to nothing applicable, then unchanged: both find nothing.
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", CatalogueWithUpdate("Zvu Test Check", 2, 3, 10)));
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr, &kept), E_FAIL);
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr, &kept), E_FAIL);
  EXPECT_EQ(LastAnswer(), "304 conditional");
  EXPECT_EQ(updateXml, second);
}

TEST_F(CheckForUpdatesTest, FailedFetchKeepsTheValidatorsForTheNextCheck) {
  ScopedProductKey product("Zvu Test Check", InstalledVersion{2, 3, 10, 0});
  const std::string catalogue = CatalogueWithUpdate("Zvu Test Check", 2, 3, 11);
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", catalogue));
  zvu::KeptCatalogue kept;
  std::string updateXml;
  ASSERT_EQ(zvu::CheckForUpdates(updateXml, nullptr, &kept), S_OK);

  DeleteFileA((zvu::test::FixtureDirWindows() + "\\update.xml").c_str());
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr, &kept), zvu::kCheckInconclusive);  // 404
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", catalogue));
  updateXml.clear();
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr, &kept), S_OK);
  EXPECT_EQ(LastAnswer(), "304 conditional");
  EXPECT_EQ(updateXml, catalogue);
}

TEST_F(CheckForUpdatesTest, ServerWithoutValidatorsOrIgnoringThemChangesNothing) {
  ScopedProductKey product("Zvu Test Check", InstalledVersion{2, 3, 10, 0});
  const std::string catalogue = CatalogueWithUpdate("Zvu Test Check", 2, 3, 11);
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", catalogue));

  for (const char* mode : {"none", "ignore"}) {
    ASSERT_TRUE(zvu::test::WriteFixtureFile("update.validators", mode));
    zvu::KeptCatalogue kept;
    for (int check = 0; check < 2; ++check) {
      std::string updateXml;
      EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr, &kept), S_OK) << mode << check;
      EXPECT_EQ(updateXml, catalogue);
    }
    // Without validators nothing is sent back; ignored ones are sent, and answered in full.
    EXPECT_EQ(LastAnswer(), std::string(mode) == "none" ? "200" : "200 conditional") << mode;
  }
}

// An administrator must be able to tell a catalogue the server sent but that
// is no document from a catalogue that simply holds nothing new.
TEST_F(CheckForUpdatesTest, BodyThatIsNoCatalogueIsLoggedWithItsSize) {
  ScopedProductKey product("Zvu Test Check", InstalledVersion{2, 3, 10, 0});
  std::string updateXml = "old";
  const std::string notRead = "Update catalogue not read: no well-formed XML in ";
  const std::string valid = CatalogueWithUpdate("Zvu Test Check", 2, 3, 11);
  {
    zvu::test::LogCapture log("check-truncated");
    ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", valid.substr(0, 100)));
    EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), zvu::kCheckInconclusive);
    EXPECT_NE(log.Text().find(notRead + "100 bytes \r\n"), std::string::npos) << log.Text();
  }
  {
    // The transfer keeps a read's text up to a NUL: what the check saw is
    // the text before it, and that is the size logged.
    zvu::test::LogCapture log("check-nul");
    ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", std::string(valid).insert(50, 1, '\0')));
    EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), zvu::kCheckInconclusive);
    EXPECT_NE(log.Text().find(notRead + "50 bytes \r\n"), std::string::npos) << log.Text();
  }
  {
    // Well-formed, nothing newer: no such record.
    zvu::test::LogCapture log("check-nothing-new");
    ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", CatalogueWithUpdate("Zvu Test Check", 2, 3, 10)));
    EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), E_FAIL);
    EXPECT_EQ(log.Text().find(notRead), std::string::npos) << log.Text();
  }
  {
    // Nothing arrived (404): the transfer's own records tell, not this one.
    zvu::test::LogCapture log("check-404");
    DeleteFileA((zvu::test::FixtureDirWindows() + "\\update.xml").c_str());
    EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), zvu::kCheckInconclusive);
    EXPECT_EQ(log.Text().find(notRead), std::string::npos) << log.Text();
  }
  EXPECT_EQ(updateXml, "old");
}

// The client pipe ends a catalogue at byte 0xFF ('\xFF' in code page 1252):
// the client would open the wizard on a cut text and again on the rest, while
// the service logged the hand-off as done.
TEST_F(CheckForUpdatesTest, CatalogueHoldingThePipeEndByteIsRefusedAndLogged) {
  ScopedProductKey product("Zvu Test Check", InstalledVersion{2, 3, 10, 0});
  std::string catalogue = CatalogueWithUpdate("Zvu Test Check", 2, 3, 11);
  const size_t at = catalogue.find("Fixes") + 2;
  catalogue.insert(at, 1, '\xFF');
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", catalogue));

  zvu::test::LogCapture log("check-end-byte");
  std::string updateXml = "old";
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), zvu::kCheckInconclusive);
  EXPECT_EQ(updateXml, "old");
  EXPECT_NE(log.Text().find("Update catalogue holds byte 0xFF at " + std::to_string(at) +
                            ", which ends it on the client pipe: not handed over \r\n"),
            std::string::npos)
      << log.Text();
}

// A version stored other than as a 4-byte REG_DWORD keeps its defined reading
// (text "2" reads as 50, eight bytes as missing), and the check says why the
// update was not taken, once per product; well-stored values say nothing.
TEST_F(CheckForUpdatesTest, VersionStoredInAnotherShapeIsReportedOncePerProduct) {
  const std::string notDword = "Installed version of ";
  struct Case {
    const char* value;
    DWORD type;
    std::string data;
    const char* record;
  };
  const Case cases[] = {
      {"Major", REG_SZ, std::string("2\0", 2),
       "Installed version of Zvu Test Check read as 50.3.10: value Major is not a 4-byte REG_DWORD \r\n"},
      {"Minor", REG_QWORD, std::string("\x03\0\0\0\0\0\0\0", 8),
       "Installed version of Zvu Test Check read as 2.4294967295.10: value Minor is not a 4-byte REG_DWORD \r\n"},
      {"build", REG_MULTI_SZ, std::string("10\0\0", 4),
       "Installed version of Zvu Test Check read as 2.3.12337: value build is not a 4-byte REG_DWORD \r\n"},
  };
  for (const Case& c : cases) {
    ScopedProductKey product("Zvu Test Check", InstalledVersion{2, 3, 10, 0});
    product.SetRawValue(c.value, c.type, c.data.data(), c.data.size());
    // Two updates of the product: one record all the same.
    std::string catalogue = CatalogueWithUpdate("Zvu Test Check", 2, 3, 11);
    const size_t end = catalogue.find("</updates>");
    const size_t start = catalogue.find("<update>");
    catalogue.insert(end, catalogue.substr(start, end - start));
    ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", catalogue));

    zvu::test::LogCapture log("check-odd-version");
    std::string updateXml = "old";
    EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), E_FAIL) << c.value;
    const std::string text = log.Text();
    EXPECT_NE(text.find(c.record), std::string::npos) << text;
    EXPECT_EQ(text.find(notDword), text.rfind(notDword)) << text;
  }
  {
    ScopedProductKey product("Zvu Test Check", InstalledVersion{2, 3, 10, 0});
    ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", CatalogueWithUpdate("Zvu Test Check", 2, 3, 10)));
    zvu::test::LogCapture log("check-dword-version");
    std::string updateXml = "old";
    EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), E_FAIL);
    EXPECT_EQ(log.Text().find(notDword), std::string::npos) << log.Text();
  }
}

// A proxy that wants credentials stops every check: the service log says so
// (the service gives none), and the check has no outcome.
TEST_F(CheckForUpdatesTest, ProxyAskingForCredentialsIsLoggedAndLeavesTheCheckInconclusive) {
  ScopedProductKey product("Zvu Test Check", InstalledVersion{2, 3, 10, 0});
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", CatalogueWithUpdate("Zvu Test Check", 2, 3, 11)));
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.fault", "407"));
  zvu::test::LogCapture log("check-proxy-407");
  std::string updateXml = "old";
  EXPECT_EQ(zvu::CheckForUpdates(updateXml, nullptr), zvu::kCheckInconclusive);
  EXPECT_EQ(updateXml, "old");
  EXPECT_NE(log.Text().find(" A proxy asked for credentials (HTTP status 407, schemes: Basic); "
                            "none were given\r\n"),
            std::string::npos)
      << log.Text();
}

}  // namespace

namespace {

// The install pipe's fresh fetch: the body exactly as received, whether or
// not anything in it applies, and never a conditional request.
TEST_F(CheckForUpdatesTest, FetchCatalogueTextGivesTheWholeBodyOrNothing) {
  const std::string catalogue = CatalogueWithUpdate("Zvu Test Fetch Not Installed", 1, 0, 0);
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", catalogue));
  std::string text = "old";
  EXPECT_TRUE(zvu::FetchCatalogueText(text, nullptr));
  EXPECT_EQ(text, catalogue);
  EXPECT_EQ(LastAnswer(), "200");

  DeleteFileA((zvu::test::FixtureDirWindows() + "\\update.xml").c_str());
  text = "old";
  EXPECT_FALSE(zvu::FetchCatalogueText(text, nullptr));
  EXPECT_EQ(text, "old");
}

}  // namespace
