// The selection page: which rows the tree shows, what the description pane
// says for each, and an empty choice.
#include <windows.h>
#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "resource_ids.h"
#include "wait_until.h"
#include "wizard_driver.h"

namespace zvu {
namespace {

using test::WaitUntil;
using test::WizardDriver;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct Row {
  HTREEITEM item;
  std::string text;
  int image;
};

std::vector<Row> Rows(HWND tree, HTREEITEM parent) {
  std::vector<Row> rows;
  auto item = reinterpret_cast<HTREEITEM>(SendMessageA(
      tree, TVM_GETNEXTITEM, parent == nullptr ? TVGN_ROOT : TVGN_CHILD, reinterpret_cast<LPARAM>(parent)));
  while (item != nullptr) {
    char text[512] = {};
    TVITEMA read{};
    read.mask = TVIF_TEXT | TVIF_IMAGE;
    read.hItem = item;
    read.pszText = text;
    read.cchTextMax = sizeof(text);
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&read));
    rows.push_back({item, text, read.iImage});
    item = reinterpret_cast<HTREEITEM>(
        SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
  }
  return rows;
}

std::vector<std::string> Texts(const std::vector<Row>& rows) {
  std::vector<std::string> texts;
  for (const Row& row : rows) texts.push_back(row.text);
  return texts;
}

class SelectionPageTest : public ::testing::Test {
 protected:
  // Opens the wizard on a handed-over catalogue.
  std::unique_ptr<WizardDriver> Open(const std::string& xml) {
    auto wizard = std::make_unique<WizardDriver>(
        XUpdateWizard::kWelcomePage, [xml](XUpdateWizard& w) { w.OpenOnCatalogue(xml); });
    if (wizard->Started()) {
      page_ = wizard->Page(XUpdateWizard::kSelectionPage);
      tree_ = GetDlgItem(page_, IDC_UPDATE_TREE);
    }
    return wizard;
  }
  std::string DescriptionAfterSelecting(HTREEITEM item) {
    SendMessageA(tree_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    char text[2048] = {};
    GetWindowTextA(GetDlgItem(page_, IDC_DESCRIPTION), text, sizeof(text));
    return text;
  }

  test::InstalledProducts installed_;
  HWND page_ = nullptr;
  HWND tree_ = nullptr;
};

TEST_F(SelectionPageTest, TreeShowsOfferedProductsAndOneHeadingPerApplicableUpdate) {
  installed_.Add("Alpha", 2, 1, 5);
  installed_.Add("Gamma", 1, 0, 0);
  installed_.Add("Delta", 3, 0, 0);
  const std::string url = test::FileUrl("/files/x.exe");
  const std::string xml = test::CatalogueXml(
      test::ProductXml("Omega", 1, 0, "A new product. See http://www.zelko.example/omega") +
          test::ProductXml("Gamma", 2, 0) + test::ProductXml("Delta", 3, 5),
      test::UpdateXml("alpha", 2, 2, 0, 0, url) + test::UpdateXml("Alpha", 2, 1, 9, 0, url) +
          test::UpdateXml("Alpha", 2, 1, 5, 7, url) +
          test::UpdateXml("Gamma", 1, 0, 1, 0, url, 1500000, "Line one\\nLine two"));
  auto wizard = Open(xml);
  ASSERT_TRUE(wizard->Started());
  ASSERT_NE(tree_, nullptr);

  const std::vector<Row> roots = Rows(tree_, nullptr);
  // Omega is not installed, Gamma only in an older major; Delta 3 is not
  // offered over Delta 3. Alpha 2.1.5.7 differs only in subbuild: no row.
  EXPECT_THAT(Texts(roots), ElementsAre("Omega 1.0", "Gamma 2.0", "alpha 2.2", "Alpha 2.1", "Gamma 1.0"));
  ASSERT_EQ(roots.size(), 5u);
  EXPECT_EQ(roots[0].image, 2);
  EXPECT_EQ(roots[2].image, 3);
  EXPECT_TRUE(Rows(tree_, roots[0].item).empty());
  const std::vector<Row> firstUpdate = Rows(tree_, roots[2].item);
  EXPECT_THAT(Texts(firstUpdate), ElementsAre("alpha 2.2.0.0"));
  EXPECT_EQ(firstUpdate[0].image, 0) << "chosen at first: the checked box";
  EXPECT_THAT(Texts(Rows(tree_, roots[3].item)), ElementsAre("Alpha 2.1.9.0"));
  const std::vector<Row> gammaUpdate = Rows(tree_, roots[4].item);
  EXPECT_THAT(Texts(gammaUpdate), ElementsAre("Gamma 1.0.1.0"));

  std::vector<bool> chosen;
  wizard->Invoke([&](XUpdateWizard& w) {
    for (const UpdateEntry& update : w.Catalogue().ApplicableUpdates()) chosen.push_back(update.offered);
  });
  EXPECT_THAT(chosen, ElementsAre(true, true, false, true)) << "an update without a row is never installed";

  // Descriptions.
  const std::string gamma = DescriptionAfterSelecting(gammaUpdate[0].item);
  EXPECT_THAT(gamma, HasSubstr("Gamma 1.0.1.0 (1464kB)"));
  const size_t one = gamma.find("Line one");
  const size_t two = gamma.find("Line two");
  ASSERT_NE(one, std::string::npos);
  ASSERT_NE(two, std::string::npos);
  EXPECT_NE(gamma.substr(one, two - one).find('\r'), std::string::npos)
      << "\\n in a description starts a new paragraph: " << gamma;

  const std::string heading = DescriptionAfterSelecting(roots[2].item);
  EXPECT_THAT(heading, HasSubstr("Alpha 2.1.5"));
  EXPECT_THAT(heading, HasSubstr(
      "This is currently installed version of Alpha. To update it check the item below."));

  const std::string omega = DescriptionAfterSelecting(roots[0].item);
  EXPECT_THAT(omega, HasSubstr("Omega"));
  EXPECT_THAT(omega, HasSubstr("A new product."));
}

TEST_F(SelectionPageTest, NothingChosenShowsTheErrorPageAndBackKeepsTheBoxes) {
  installed_.Add("Alpha", 1, 0, 0);
  installed_.Add("Beta", 1, 0, 0);
  const std::string url = test::FileUrl("/files/x.exe");
  auto wizard = Open(test::CatalogueXml(
      "", test::UpdateXml("Alpha", 1, 1, 0, 0, url) + test::UpdateXml("Beta", 1, 2, 0, 0, url)));
  ASSERT_TRUE(wizard->Started());
  const std::vector<Row> roots = Rows(tree_, nullptr);
  ASSERT_EQ(roots.size(), 2u);
  // Alpha's update is unticked with the mouse, Beta's with the space bar on
  // the focused row, through the sheet's own handling of keys.
  bool byKeyboard = false;
  for (const Row& heading : roots) {
    const std::vector<Row> updates = Rows(tree_, heading.item);
    ASSERT_EQ(updates.size(), 1u);
    HTREEITEM item = updates[0].item;
    if (byKeyboard) {
      wizard->Invoke([&](XUpdateWizard&) {
        SendMessageA(tree_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
        SetFocus(tree_);
      });
      PostMessageA(tree_, WM_KEYDOWN, VK_SPACE, 1);
      PostMessageA(tree_, WM_KEYUP, VK_SPACE, 0xC0000001);
    } else {
      RECT label{};
      std::memcpy(&label, &item, sizeof(item));  // TVM_GETITEMRECT takes the row in the rectangle
      ASSERT_TRUE(SendMessageA(tree_, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&label)));
      wizard->Click(tree_, {(label.left + label.right) / 2, (label.top + label.bottom) / 2});
    }
    EXPECT_TRUE(WaitUntil([&] { return Rows(tree_, heading.item)[0].image == 1; }, 5000))
        << (byKeyboard ? "the space bar" : "a click") << " unticks " << updates[0].text;
    byKeyboard = true;
  }

  wizard->Press(PSBTN_NEXT);
  ASSERT_TRUE(wizard->WaitForPage(XUpdateWizard::kErrorPage));
  EXPECT_EQ(wizard->ErrorExplanation(),
            "You did not choose to update any of the installed products.\n"
            "Click 'Back' to choose updates, or click 'Finish' to close Vuro Update.");
  EXPECT_EQ(wizard->Text(XUpdateWizard::kErrorPage, IDC_ERROR_HEADLINE),
            "Thank you for using Zelko Vuro Update");
  EXPECT_TRUE(WaitUntil([&] {
    return wizard->ButtonEnabled(WizardDriver::kBack) && wizard->ButtonEnabled(WizardDriver::kFinish);
  }, 5000));

  wizard->Press(PSBTN_BACK);
  ASSERT_TRUE(wizard->WaitForPage(XUpdateWizard::kSelectionPage));
  for (const Row& heading : Rows(tree_, nullptr)) {
    EXPECT_EQ(Rows(tree_, heading.item)[0].image, 1) << "the box stays as the user left it";
  }
  bool anyChosen = true;
  wizard->Invoke([&](XUpdateWizard& w) { anyChosen = w.AnyUpdateChosen(); });
  EXPECT_FALSE(anyChosen);
}

}  // namespace
}  // namespace zvu
