// The wizard's frame and page flow: welcome, search, error page endings and
// a catalogue handed over by the service.
#include <windows.h>
#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <vector>

#include "catalogue_fetch.h"
#include "http_client.h"
#include "icon_image_list.h"
#include "log_capture.h"
#include "resource_ids.h"
#include "test_env.h"
#include "wait_until.h"
#include "wizard_driver.h"

namespace zvu {
namespace {

using test::WaitUntil;
using test::WizardDriver;
using ::testing::ElementsAre;

constexpr char kTemplateHeadline[] = "VuroUpdate could not retrive the update list";
constexpr char kTemplateExplanation[] =
    "VuroUpdate could not retrive the catalog file of available Zelko products and updates. "
    "Please verify that you are able to connect to the Internet and run VuroUpdate again.";

class WizardFlowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    test::ServeCatalogue("");
    DeleteFileA((test::FixtureDirWindows() + "\\update.delay").c_str());
  }
  bool OnlyFinish(WizardDriver& wizard) {
    return WaitUntil([&] {
      return wizard.ButtonEnabled(WizardDriver::kFinish) && !wizard.ButtonEnabled(WizardDriver::kBack) &&
             !wizard.ButtonEnabled(WizardDriver::kNext);
    }, 5000);
  }
  test::InstalledProducts installed_;
};

TEST_F(WizardFlowTest, FrameFillsThePicturesInTheirOrderAndAFolderInLowerCase) {
  WizardDriver wizard(XUpdateWizard::kWelcomePage);
  ASSERT_TRUE(wizard.Started());
  std::string folder;
  std::vector<int> indices;
  int pictures = 0;
  wizard.Invoke([&](XUpdateWizard& w) {
    folder = w.DownloadFolder();
    IconImageList& list = IconImageList::Instance();
    pictures = ImageList_GetImageCount(list.Images());
    for (UINT icon : {153u, 156u, 155u, 154u, 161u, 163u}) indices.push_back(list.IndexOf(icon));
  });
  EXPECT_EQ(pictures, 6);
  EXPECT_THAT(indices, ElementsAre(0, 1, 2, 3, 4, 5));

  char temp[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, temp);
  std::string expected = std::string(temp) + "ZELKO UPDATES";
  for (char& c : expected) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(folder, expected);
  EXPECT_NE(std::string(temp), expected.substr(0, std::string(temp).size()))
      << "the temporary folder should have capitals for this test to mean something";

  char caption[64] = {};
  GetWindowTextA(wizard.Sheet(), caption, sizeof(caption));
  EXPECT_THAT(std::string(caption), ::testing::HasSubstr("Vuro Update"));
}

TEST_F(WizardFlowTest, WelcomeListsInstalledProductsSortedAndCancelShowsTheInterruptedPage) {
  installed_.Add("Beta", 1, 0, 3);
  installed_.Add("Alpha", 2, 1, 5);
  WizardDriver wizard(XUpdateWizard::kWelcomePage);
  ASSERT_TRUE(wizard.Started());
  EXPECT_EQ(wizard.ActivePage(), XUpdateWizard::kWelcomePage);
  EXPECT_THAT(wizard.ListLines(XUpdateWizard::kWelcomePage, IDC_INSTALLED_LIST),
              ElementsAre("Alpha Version 2.1", "Beta Version 1.0"));
  EXPECT_EQ(wizard.Text(XUpdateWizard::kWelcomePage, IDC_WELCOME_TITLE), "Welcome to Zelko Vuro Update");
  EXPECT_TRUE(WaitUntil([&] {
    return wizard.ButtonEnabled(WizardDriver::kNext) && !wizard.ButtonEnabled(WizardDriver::kBack);
  }, 5000));

  wizard.Press(PSBTN_CANCEL);
  ASSERT_TRUE(wizard.WaitForPage(XUpdateWizard::kErrorPage));
  EXPECT_EQ(wizard.ErrorExplanation(), "Vuro Update was interrupted by user.");
  EXPECT_EQ(wizard.Text(XUpdateWizard::kErrorPage, IDC_ERROR_HEADLINE),
            "Thank you for using Zelko Vuro Update");
  EXPECT_TRUE(OnlyFinish(wizard));
  EXPECT_FALSE(wizard.WaitForEnd(300)) << "Cancel on the welcome page closed the wizard";
  wizard.Press(PSBTN_FINISH);
  EXPECT_TRUE(wizard.WaitForEnd());
}

// A 32-bit product on 64-bit Windows has its key in the 32-bit registry view;
// a product in both views is listed once, with the 64-bit view's version.
TEST_F(WizardFlowTest, WelcomeListsProductsOfBothRegistryViewsOnce) {
  installed_.Add("Gamma", 3, 2, 1, KEY_WOW64_32KEY);
  installed_.Add("Delta", 2, 0, 0);
  installed_.Add("DELTA", 1, 0, 0, KEY_WOW64_32KEY);
  WizardDriver wizard(XUpdateWizard::kWelcomePage);
  ASSERT_TRUE(wizard.Started());
  EXPECT_THAT(wizard.ListLines(XUpdateWizard::kWelcomePage, IDC_INSTALLED_LIST),
              ElementsAre("Delta Version 2.0", "Gamma Version 3.2"));
  wizard.Press(PSBTN_CANCEL);
  ASSERT_TRUE(wizard.WaitForPage(XUpdateWizard::kErrorPage));
  wizard.Press(PSBTN_FINISH);
  EXPECT_TRUE(wizard.WaitForEnd());
}

TEST_F(WizardFlowTest, WelcomeWithNothingInstalledStillLeadsToTheSearch) {
  test::ServeCatalogue(test::CatalogueXml("", ""));
  WizardDriver wizard(XUpdateWizard::kWelcomePage);
  ASSERT_TRUE(wizard.Started());
  EXPECT_TRUE(wizard.ListLines(XUpdateWizard::kWelcomePage, IDC_INSTALLED_LIST).empty());
  wizard.Press(PSBTN_NEXT);
  // An empty catalogue parses: the selection page, with an empty tree.
  ASSERT_TRUE(wizard.WaitForPage(XUpdateWizard::kSelectionPage));
  HWND tree = GetDlgItem(wizard.Page(XUpdateWizard::kSelectionPage), IDC_UPDATE_TREE);
  EXPECT_EQ(SendMessageA(tree, TVM_GETCOUNT, 0, 0), 0);
}

TEST_F(WizardFlowTest, SearchFailureShowsTheTemplateTextsWithFinishOnly) {
  test::ServeCatalogue("");  // 404: the transfer fails
  WizardDriver wizard(XUpdateWizard::kWelcomePage);
  ASSERT_TRUE(wizard.Started());
  wizard.Press(PSBTN_NEXT);
  ASSERT_TRUE(wizard.WaitForPage(XUpdateWizard::kErrorPage));
  EXPECT_EQ(wizard.Text(XUpdateWizard::kErrorPage, IDC_ERROR_HEADLINE), kTemplateHeadline);
  EXPECT_EQ(wizard.ErrorExplanation(), kTemplateExplanation);
  LONG error = -1;
  wizard.Invoke([&](XUpdateWizard& w) { error = w.CatalogueError(); });
  EXPECT_EQ(error, XUpdateWizard::kCatalogueNotDownloaded);
  EXPECT_TRUE(OnlyFinish(wizard));
  // Close (the former Cancel) ends the run on this page.
  wizard.Press(PSBTN_CANCEL);
  EXPECT_TRUE(wizard.WaitForEnd());
}

TEST_F(WizardFlowTest, ADocumentThatIsNoCatalogueShowsErrorIn) {
  test::LogCapture log("zvu_wizard_not_a_catalogue");
  test::ServeCatalogue("<html><body>Maintenance</body>");
  WizardDriver wizard(XUpdateWizard::kWelcomePage);
  ASSERT_TRUE(wizard.Started());
  wizard.Press(PSBTN_NEXT);
  ASSERT_TRUE(wizard.WaitForPage(XUpdateWizard::kErrorPage));
  EXPECT_EQ(wizard.Text(XUpdateWizard::kErrorPage, IDC_ERROR_HEADLINE), "Error in ");
  EXPECT_EQ(wizard.ErrorExplanation(), kTemplateExplanation);
  EXPECT_TRUE(OnlyFinish(wizard));
  // The administrator learns from the log why the user saw that page.
  EXPECT_NE(log.Text().find("Update catalogue not read: no well-formed XML in 30 bytes \r\n"),
            std::string::npos)
      << log.Text();
}

TEST_F(WizardFlowTest, CancelWhileSearchingStopsTheFetchAndStaysInterrupted) {
  test::ServeCatalogue(test::CatalogueXml("", ""));
  ASSERT_TRUE(test::WriteFixtureFile("update.delay", "2"));
  WizardDriver wizard(XUpdateWizard::kWelcomePage);
  ASSERT_TRUE(wizard.Started());
  const size_t requestsBefore = test::CatalogueRequests().size();
  wizard.Press(PSBTN_NEXT);
  ASSERT_TRUE(wizard.WaitForPage(XUpdateWizard::kSearchPage));
  EXPECT_TRUE(WaitUntil([&] {
    return !wizard.ButtonEnabled(WizardDriver::kNext) && !wizard.ButtonEnabled(WizardDriver::kBack) &&
           !wizard.ButtonEnabled(WizardDriver::kFinish);
  }, 5000));
  // The fetch has reached the server, which holds the catalogue back.
  ASSERT_TRUE(WaitUntil([&] { return test::CatalogueRequests().size() > requestsBefore; }, 10000));
  wizard.Press(PSBTN_CANCEL);
  ASSERT_TRUE(wizard.WaitForPage(XUpdateWizard::kErrorPage));
  EXPECT_EQ(wizard.ErrorExplanation(), "Vuro Update was interrupted by user.");

  // A fetch started now ends after the wizard's would have; what reached the
  // wizard's thread before it is handled before the Invoke.
  XHttpClient later;
  ASSERT_TRUE(StartCatalogueFetch(later));
  EXPECT_TRUE(WaitUntil([&] {
    return later.GetHttpState() == HttpState::Complete || later.GetHttpState() == HttpState::Failed;
  }, 15000));
  EXPECT_EQ(later.GetHttpState(), HttpState::Complete);
  wizard.Invoke([](XUpdateWizard&) {});
  // Nothing moves the user on.
  EXPECT_EQ(wizard.ActivePage(), XUpdateWizard::kErrorPage);
}

TEST_F(WizardFlowTest, AHandedOverCatalogueOpensOnTheSelectionPage) {
  installed_.Add("Alpha", 1, 0, 0);
  const std::string xml = test::CatalogueXml(
      "", test::UpdateXml("Alpha", 1, 1, 0, 0, test::FileUrl("/files/alpha.exe")));
  bool parsed = false;
  WizardDriver wizard(XUpdateWizard::kWelcomePage,
                      [&](XUpdateWizard& w) { parsed = w.OpenOnCatalogue(xml); });
  ASSERT_TRUE(wizard.Started());
  EXPECT_TRUE(parsed);
  EXPECT_EQ(wizard.ActivePage(), XUpdateWizard::kSelectionPage);
  EXPECT_EQ(wizard.Page(XUpdateWizard::kWelcomePage), nullptr)
      << "the welcome page was never shown, so its window was never made";
}

// The interior pages' picture comes from the dialog template; the static
// control that shows it loaded the bitmap. A wizard opened for every catalogue
// handed over must not leave its picture behind when it closes (under Wine
// the control keeps it: about 70 KiB for every wizard).
TEST_F(WizardFlowTest, TheInteriorPicturesAreFreedWithTheWizard) {
  installed_.Add("Alpha", 1, 0, 0);
  const std::string xml = test::CatalogueXml(
      "", test::UpdateXml("Alpha", 1, 1, 0, 0, test::FileUrl("/files/alpha.exe")));
  std::vector<HGDIOBJ> pictures;
  {
    WizardDriver wizard(XUpdateWizard::kWelcomePage,
                        [&](XUpdateWizard& w) { w.OpenOnCatalogue(xml); });
    ASSERT_TRUE(wizard.Started());
    HWND page = wizard.Page(XUpdateWizard::kSelectionPage);
    ASSERT_NE(page, nullptr);
    for (HWND child = GetWindow(page, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if ((GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP) continue;
      auto picture = reinterpret_cast<HGDIOBJ>(SendMessageA(child, STM_GETIMAGE, IMAGE_BITMAP, 0));
      if (picture != nullptr) pictures.push_back(picture);
    }
    ASSERT_EQ(pictures.size(), 1u) << "the selection page shows one picture from its template";
    EXPECT_EQ(GetObjectType(pictures[0]), static_cast<DWORD>(OBJ_BITMAP));
    wizard.Press(PSBTN_CANCEL);
    for (int i = 0; i < 20 && !wizard.WaitForEnd(250); ++i) {
      wizard.Press(wizard.ActivePage() == XUpdateWizard::kErrorPage ? PSBTN_FINISH : PSBTN_CANCEL);
    }
    ASSERT_TRUE(wizard.WaitForEnd());
  }
  EXPECT_EQ(GetObjectType(pictures[0]), 0u) << "the picture outlived its page";
}

TEST_F(WizardFlowTest, AHandedOverTextThatDoesNotParseOpensOnTheErrorPageWhichCloses) {
  test::LogCapture log("zvu_wizard_handed_over_not_a_catalogue");
  WizardDriver wizard(XUpdateWizard::kWelcomePage,
                      [](XUpdateWizard& w) { w.OpenOnCatalogue("not a catalogue <"); });
  ASSERT_TRUE(wizard.Started());
  EXPECT_EQ(wizard.ActivePage(), XUpdateWizard::kErrorPage);
  EXPECT_EQ(wizard.Text(XUpdateWizard::kErrorPage, IDC_ERROR_HEADLINE), kTemplateHeadline);
  EXPECT_EQ(wizard.ErrorExplanation(), kTemplateExplanation);
  EXPECT_TRUE(OnlyFinish(wizard));
  wizard.Press(PSBTN_CANCEL);
  EXPECT_TRUE(wizard.WaitForEnd());
  EXPECT_NE(log.Text().find("Update catalogue not read: no well-formed XML in 17 bytes \r\n"),
            std::string::npos)
      << log.Text();
}

}  // namespace
}  // namespace zvu
