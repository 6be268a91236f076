#include "check_tree.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "delete_watch.h"
#include "host_window.h"
#include "icon_image_list.h"

namespace zvu {
namespace {

using test::HostWindow;

UpdateEntry MakeUpdate(const char* name, bool offered) {
  UpdateEntry entry;
  entry.name = name;
  entry.offered = offered;
  return entry;
}

struct RowPictures {
  int image = -1;
  int selectedImage = -1;
};

class CheckTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IconImageList& icons = IconImageList::Instance();
    ASSERT_TRUE(icons.Reset());
    for (UINT number : {153u, 156u, 155u, 154u}) icons_.push_back(icons.AddIcon(number));
    ASSERT_NE(tree_.Create(host_.hwnd(), RECT{0, 0, 400, 280}, 1019), nullptr);
    TreeView_SetImageList(tree_.hwnd(), icons.Images(), TVSIL_NORMAL);
  }
  void TearDown() override {
    host_.Destroy();
    for (HICON icon : icons_) DestroyIcon(icon);
  }

  RowPictures Pictures(HTREEITEM item) const {
    TVITEMW read = {};
    read.mask = TVIF_HANDLE | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    read.hItem = item;
    TreeView_GetItem(tree_.hwnd(), &read);
    return {read.iImage, read.iSelectedImage};
  }
  // A point on the row's line: on its label, or well right of it.
  POINT OnLabel(HTREEITEM item) const {
    RECT rect = {};
    TreeView_GetItemRect(tree_.hwnd(), item, &rect, TRUE);
    return {rect.left + 3, (rect.top + rect.bottom) / 2};
  }
  POINT RightOfLabel(HTREEITEM item) const {
    RECT rect = {};
    TreeView_GetItemRect(tree_.hwnd(), item, &rect, TRUE);
    return {rect.right + 60, (rect.top + rect.bottom) / 2};
  }
  HTREEITEM Selected() const { return TreeView_GetSelection(tree_.hwnd()); }
  // What accessibility tools read: the row's state picture index (0 no box,
  // 1 unticked, 2 ticked).
  UINT BoxState(HTREEITEM item) const {
    return (TreeView_GetItemState(tree_.hwnd(), item, TVIS_STATEIMAGEMASK) & TVIS_STATEIMAGEMASK) >> 12;
  }

  HostWindow host_;
  XCheckTree tree_;
  std::vector<HICON> icons_;
  CatalogueEntry installed_;
  CatalogueEntry offered_;
};

TEST_F(CheckTreeTest, RowsCarryTheirKindAndPictures) {
  UpdateEntry chosen = MakeUpdate("Alpha", true);
  UpdateEntry declined = MakeUpdate("Beta", false);
  HTREEITEM offer = tree_.InsertOfferItem("Gamma 2.0", TVI_ROOT, &offered_);
  HTREEITEM heading = tree_.InsertHeadingItem("Alpha 1.0", &installed_);
  HTREEITEM checked = tree_.InsertCheckItem("Alpha 1.1.0.0", heading, &chosen);
  HTREEITEM unchecked = tree_.InsertCheckItem("Beta 1.1.0.0", heading, &declined);
  HTREEITEM orphan = tree_.InsertCheckItem("No entry", heading, nullptr);

  const CheckTreeItemData* record = tree_.ItemData(offer);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->offerItem + record->checkItem + record->headingItem, 1);
  EXPECT_EQ(record->offerItem, 1);
  EXPECT_EQ(record->checkState, -1);
  EXPECT_EQ(record->object, &offered_);
  EXPECT_EQ(Pictures(offer).image, XCheckTree::kOfferedProduct);
  EXPECT_EQ(Pictures(offer).selectedImage, XCheckTree::kOfferedProduct);

  record = tree_.ItemData(heading);
  EXPECT_EQ(record->headingItem, 1);
  EXPECT_EQ(record->checkState, -1);
  EXPECT_EQ(record->object, &installed_);
  EXPECT_EQ(TreeView_GetParent(tree_.hwnd(), heading), nullptr);
  EXPECT_EQ(Pictures(heading).image, XCheckTree::kInstalledHeading);
  EXPECT_EQ(Pictures(heading).selectedImage, XCheckTree::kInstalledHeading);

  record = tree_.ItemData(checked);
  EXPECT_EQ(record->checkItem, 1);
  EXPECT_EQ(record->checkState, 1);
  EXPECT_EQ(record->object, &chosen);
  EXPECT_EQ(TreeView_GetParent(tree_.hwnd(), checked), heading);
  EXPECT_EQ(Pictures(checked).image, XCheckTree::kCheckedBox);
  EXPECT_EQ(Pictures(checked).selectedImage, XCheckTree::kCheckedBox);

  EXPECT_EQ(tree_.ItemData(unchecked)->checkState, 0);
  EXPECT_EQ(Pictures(unchecked).image, XCheckTree::kUncheckedBox);
  EXPECT_EQ(Pictures(unchecked).selectedImage, XCheckTree::kUncheckedBox);
  EXPECT_EQ(tree_.ItemData(orphan)->checkState, 0);
  EXPECT_EQ(Pictures(orphan).image, XCheckTree::kUncheckedBox);

  // The check-box style tells accessibility tools which rows are boxes and
  // how they stand; the tree itself draws no second box. (Rows without a box
  // are given none; Wine's tree gives them index 1 once it paints them.)
  EXPECT_NE(GetWindowLongPtrW(tree_.hwnd(), GWL_STYLE) & TVS_CHECKBOXES, 0);
  EXPECT_EQ(TreeView_GetImageList(tree_.hwnd(), TVSIL_STATE), nullptr);
  EXPECT_EQ(BoxState(offer), XCheckTree::kNoBoxState);
  EXPECT_EQ(BoxState(heading), XCheckTree::kNoBoxState);
  EXPECT_EQ(BoxState(checked), XCheckTree::kTickedState);
  EXPECT_EQ(BoxState(unchecked), XCheckTree::kUntickedState);
  EXPECT_EQ(BoxState(orphan), XCheckTree::kUntickedState);

  // Rows come in the order they were inserted under their parent.
  EXPECT_EQ(TreeView_GetChild(tree_.hwnd(), heading), checked);
  EXPECT_EQ(TreeView_GetNextSibling(tree_.hwnd(), checked), unchecked);
  EXPECT_EQ(TreeView_GetNextSibling(tree_.hwnd(), offer), heading);
}

TEST_F(CheckTreeTest, OnlyCheckRowsToggleAndTheEntryFollowsEachClick) {
  UpdateEntry update = MakeUpdate("Alpha", true);
  HTREEITEM offer = tree_.InsertOfferItem("Gamma 2.0", TVI_ROOT, &offered_);
  HTREEITEM heading = tree_.InsertHeadingItem("Alpha 1.0", &installed_);
  HTREEITEM row = tree_.InsertCheckItem("Alpha 1.1.0.0", heading, &update);
  HTREEITEM orphan = tree_.InsertCheckItem("No entry", heading, nullptr);
  TreeView_Expand(tree_.hwnd(), heading, TVE_EXPAND);
  test::PumpMessages();

  test::Click(tree_.hwnd(), OnLabel(heading));
  test::Click(tree_.hwnd(), OnLabel(offer));
  EXPECT_EQ(tree_.ItemData(heading)->checkState, -1);
  EXPECT_EQ(tree_.ItemData(offer)->checkState, -1);
  EXPECT_EQ(Pictures(heading).image, XCheckTree::kInstalledHeading);
  EXPECT_EQ(Pictures(offer).image, XCheckTree::kOfferedProduct);
  EXPECT_EQ(Selected(), offer) << "the click still selects the row";

  test::Click(tree_.hwnd(), OnLabel(row));
  EXPECT_EQ(Selected(), row);
  EXPECT_EQ(tree_.ItemData(row)->checkState, 0);
  EXPECT_FALSE(update.offered);
  EXPECT_EQ(Pictures(row).image, XCheckTree::kUncheckedBox);
  EXPECT_EQ(Pictures(row).selectedImage, XCheckTree::kUncheckedBox);
  EXPECT_EQ(BoxState(row), XCheckTree::kUntickedState);

  // Anywhere on the row's line counts, also right of the label.
  test::Click(tree_.hwnd(), RightOfLabel(row));
  EXPECT_EQ(tree_.ItemData(row)->checkState, 1);
  EXPECT_TRUE(update.offered);
  EXPECT_EQ(Pictures(row).image, XCheckTree::kCheckedBox);
  EXPECT_EQ(Pictures(row).selectedImage, XCheckTree::kCheckedBox);

  // A check row without an entry has nothing to write to.
  test::Click(tree_.hwnd(), OnLabel(orphan));
  EXPECT_EQ(tree_.ItemData(orphan)->checkState, 0);
  EXPECT_EQ(Pictures(orphan).image, XCheckTree::kUncheckedBox);

  // The parent is told about each new selection with the row's record, and
  // never sees the tree's own click or selection notifications.
  ASSERT_EQ(host_.selections.size(), 4u);
  EXPECT_EQ(host_.selections[0].item, heading);
  EXPECT_EQ(host_.selections[0].record, tree_.ItemData(heading));
  EXPECT_EQ(host_.selections[1].item, offer);
  EXPECT_EQ(host_.selections[2].item, row);
  EXPECT_EQ(host_.selections[2].record, tree_.ItemData(row));
  EXPECT_EQ(host_.selections[3].item, orphan);
  for (UINT code : host_.notifyCodes) {
    EXPECT_NE(code, static_cast<UINT>(NM_CLICK));
    EXPECT_NE(code, static_cast<UINT>(NM_DBLCLK));
    EXPECT_NE(code, static_cast<UINT>(TVN_SELCHANGEDA));
    EXPECT_NE(code, static_cast<UINT>(TVN_SELCHANGEDW));
  }
}

TEST_F(CheckTreeTest, DoubleClickTogglesOnce) {
  UpdateEntry update = MakeUpdate("Alpha", true);
  HTREEITEM heading = tree_.InsertHeadingItem("Alpha 1.0", nullptr);
  HTREEITEM row = tree_.InsertCheckItem("Alpha 1.1.0.0", heading, &update);
  TreeView_Expand(tree_.hwnd(), heading, TVE_EXPAND);
  test::PumpMessages();

  test::DoubleClick(tree_.hwnd(), OnLabel(row));
  EXPECT_EQ(tree_.ItemData(row)->checkState, 0);
  EXPECT_FALSE(update.offered);

  // The double click keeps the tree's own meaning on a heading: it collapses.
  test::DoubleClick(tree_.hwnd(), OnLabel(heading));
  EXPECT_EQ(TreeView_GetItemState(tree_.hwnd(), heading, TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
}

TEST_F(CheckTreeTest, ArrowKeysSelectAndTheSpaceBarTicksAsAClickDoes) {
  UpdateEntry byKey = MakeUpdate("Alpha", true);
  UpdateEntry byMouse = MakeUpdate("Beta", true);
  HTREEITEM heading = tree_.InsertHeadingItem("Alpha 1.0", &installed_);
  HTREEITEM keyRow = tree_.InsertCheckItem("Alpha 1.1.0.0", heading, &byKey);
  HTREEITEM mouseRow = tree_.InsertCheckItem("Beta 1.1.0.0", heading, &byMouse);
  TreeView_Expand(tree_.hwnd(), heading, TVE_EXPAND);
  TreeView_SelectItem(tree_.hwnd(), heading);
  SetFocus(tree_.hwnd());
  test::PumpMessages();
  host_.selections.clear();

  // An arrow key selects the row and tells the parent, but ticks nothing.
  test::PressKey(tree_.hwnd(), VK_DOWN);
  ASSERT_EQ(Selected(), keyRow);
  ASSERT_EQ(host_.selections.size(), 1u);
  EXPECT_EQ(host_.selections[0].item, keyRow);
  EXPECT_EQ(host_.selections[0].action, static_cast<UINT>(TVC_BYKEYBOARD));
  EXPECT_EQ(host_.selections[0].record, tree_.ItemData(keyRow));
  EXPECT_EQ(tree_.ItemData(keyRow)->checkState, 1);
  EXPECT_TRUE(byKey.offered);

  // The space bar on the focused row and a click on the other row, which
  // is then focused too: the same choice, pictures, state and messages.
  const auto sameAsTheClick = [&](const char* when) {
    SCOPED_TRACE(when);
    EXPECT_EQ(tree_.ItemData(keyRow)->checkState, tree_.ItemData(mouseRow)->checkState);
    EXPECT_EQ(byKey.offered, byMouse.offered);
    EXPECT_EQ(Pictures(keyRow).image, Pictures(mouseRow).image);
    EXPECT_EQ(Pictures(keyRow).selectedImage, Pictures(mouseRow).selectedImage);
    EXPECT_EQ(BoxState(keyRow), BoxState(mouseRow));
  };
  test::PressKey(tree_.hwnd(), VK_SPACE);
  EXPECT_EQ(Selected(), keyRow);
  EXPECT_EQ(tree_.ItemData(keyRow)->checkState, 0);
  EXPECT_FALSE(byKey.offered);
  EXPECT_EQ(Pictures(keyRow).image, XCheckTree::kUncheckedBox);
  EXPECT_EQ(BoxState(keyRow), XCheckTree::kUntickedState);
  EXPECT_EQ(host_.selections.size(), 1u) << "the row was selected already";

  test::Click(tree_.hwnd(), OnLabel(mouseRow));
  ASSERT_EQ(Selected(), mouseRow);
  sameAsTheClick("both unticked");
  ASSERT_EQ(host_.selections.size(), 2u);
  host_.selections.clear();

  // Again on the row that is focused now: the key and the click each tick
  // it back, without a selection message, as the row stays selected.
  TreeView_SelectItem(tree_.hwnd(), keyRow);
  test::PumpMessages();
  host_.selections.clear();
  test::PressKey(tree_.hwnd(), VK_SPACE);
  TreeView_SelectItem(tree_.hwnd(), mouseRow);
  test::PumpMessages();
  const size_t before = host_.selections.size();
  test::Click(tree_.hwnd(), OnLabel(mouseRow));
  EXPECT_EQ(host_.selections.size(), before);
  sameAsTheClick("both ticked again");
  EXPECT_TRUE(byKey.offered);
  EXPECT_EQ(BoxState(keyRow), XCheckTree::kTickedState);

  // On a heading the space bar changes nothing, as a click there does not;
  // Enter changes nothing anywhere.
  TreeView_SelectItem(tree_.hwnd(), heading);
  test::PumpMessages();
  test::PressKey(tree_.hwnd(), VK_SPACE);
  EXPECT_EQ(tree_.ItemData(heading)->checkState, -1);
  EXPECT_EQ(Selected(), heading) << "the space must not search for a row";
  TreeView_SelectItem(tree_.hwnd(), keyRow);
  test::PumpMessages();
  test::PressKey(tree_.hwnd(), VK_RETURN);
  EXPECT_TRUE(byKey.offered);
  EXPECT_EQ(tree_.ItemData(keyRow)->checkState, 1);
}

TEST_F(CheckTreeTest, RecordsAreFreedExactlyOnce) {
  UpdateEntry first = MakeUpdate("Alpha", true);
  UpdateEntry second = MakeUpdate("Beta", false);
  std::vector<HTREEITEM> rows;
  rows.push_back(tree_.InsertOfferItem("Gamma 2.0", TVI_ROOT, &offered_));
  HTREEITEM alpha = tree_.InsertHeadingItem("Alpha 1.0", &installed_);
  rows.push_back(alpha);
  rows.push_back(tree_.InsertCheckItem("Alpha 1.1.0.0", alpha, &first));
  HTREEITEM beta = tree_.InsertHeadingItem("Beta 1.0", nullptr);
  rows.push_back(beta);
  rows.push_back(tree_.InsertCheckItem("Beta 1.2.0.0", beta, &second));
  HTREEITEM dropped = tree_.InsertCheckItem("Beta 1.3.0.0", beta, &second);

  std::vector<const void*> records;
  for (HTREEITEM row : rows) records.push_back(tree_.ItemData(row));
  records.push_back(tree_.ItemData(dropped));
  test::WatchDeletes(records.data(), records.size());

  // A row deleted on its own takes its record along...
  TreeView_DeleteItem(tree_.hwnd(), dropped);
  EXPECT_EQ(test::DeleteCount(records.size() - 1), 1);
  // ...and destroying the tree frees every other record once.
  host_.Destroy();
  for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(test::DeleteCount(i), 1) << "row " << i;
  test::StopWatchingDeletes();

  EXPECT_EQ(tree_.hwnd(), nullptr);
  EXPECT_EQ(first.name, "Alpha");
  EXPECT_TRUE(first.offered);
  EXPECT_FALSE(second.offered);
}

TEST(CheckTreeObject, GoingAwayBeforeItsWindowFreesTheRecordsOnce) {
  HostWindow host;
  UpdateEntry update = MakeUpdate("Alpha", true);
  HWND window = nullptr;
  const void* record = nullptr;
  {
    XCheckTree tree;
    window = tree.Create(host.hwnd(), RECT{0, 0, 200, 200}, 1019);
    ASSERT_NE(window, nullptr);
    HTREEITEM heading = tree.InsertHeadingItem("Alpha 1.0", nullptr);
    record = tree.ItemData(tree.InsertCheckItem("Alpha 1.1.0.0", heading, &update));
    test::WatchDeletes(&record, 1);
  }
  EXPECT_EQ(test::DeleteCount(0), 1);
  // The window lives on as a plain tree view.
  DestroyWindow(window);
  EXPECT_EQ(test::DeleteCount(0), 1);
  test::StopWatchingDeletes();
}

TEST(CheckTreeObject, AttachesOnlyToATreeView) {
  HostWindow host;
  HWND button = CreateWindowExW(0, L"Button", L"x", WS_CHILD, 0, 0, 10, 10, host.hwnd(), nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  XCheckTree tree;
  EXPECT_FALSE(tree.Attach(button));
  EXPECT_FALSE(tree.Attach(nullptr));
  EXPECT_EQ(tree.InsertHeadingItem("Alpha", nullptr), nullptr);
}

}  // namespace
}  // namespace zvu
