#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "host_window.h"
#include "icon_image_list.h"
#include "icon_list_box.h"

namespace zvu {
namespace {

constexpr UINT kWizardIcons[] = {153, 156, 155, 154, 161, 163};
constexpr UINT kNoSuchIcon = 4242;

// Adds the wizard's six icons in the wizard's order; the caller destroys them.
std::vector<HICON> FillLikeTheWizard() {
  IconImageList& icons = IconImageList::Instance();
  EXPECT_TRUE(icons.Reset());
  std::vector<HICON> handles;
  for (UINT number : kWizardIcons) handles.push_back(icons.AddIcon(number));
  return handles;
}

void DestroyIcons(const std::vector<HICON>& handles) {
  for (HICON icon : handles) DestroyIcon(icon);
}

TEST(IconImageList, PicturesAreFoundByResourceNumber) {
  std::vector<HICON> handles = FillLikeTheWizard();
  IconImageList& icons = IconImageList::Instance();
  for (HICON icon : handles) EXPECT_NE(icon, nullptr);
  ASSERT_EQ(ImageList_GetImageCount(icons.Images()), 6);
  int width = 0, height = 0;
  ImageList_GetIconSize(icons.Images(), &width, &height);
  EXPECT_EQ(width, 16);
  EXPECT_EQ(height, 16);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(icons.IndexOf(kWizardIcons[i]), i);
  // A number never added answers the first picture.
  EXPECT_EQ(icons.IndexOf(kNoSuchIcon), 0);
  EXPECT_EQ(icons.IndexOf(138), 0);

  // The first picture of a number added twice is the one found.
  HICON again = icons.AddIcon(155);
  EXPECT_EQ(icons.IndexOf(155), 2);
  DestroyIcon(again);

  EXPECT_TRUE(icons.Reset());
  EXPECT_EQ(ImageList_GetImageCount(icons.Images()), 0);
  EXPECT_EQ(icons.IndexOf(163), 0);
  DestroyIcons(handles);
}

TEST(IconImageList, AMissingResourceChangesNothing) {
  IconImageList& icons = IconImageList::Instance();
  ASSERT_TRUE(icons.Reset());
  HICON first = icons.AddIcon(153);
  EXPECT_EQ(icons.AddIcon(kNoSuchIcon), nullptr);
  EXPECT_EQ(ImageList_GetImageCount(icons.Images()), 1);
  HICON second = icons.AddIcon(156);
  // Later pictures move down by one: the numbers stay in step with them.
  EXPECT_EQ(icons.IndexOf(156), 1);
  EXPECT_EQ(icons.IndexOf(kNoSuchIcon), 0);
  EXPECT_EQ(ImageList_GetImageCount(icons.Images()), 2);
  DestroyIcon(first);
  DestroyIcon(second);
}

// A 24-bit memory bitmap to draw rows into and read back.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                               nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  COLORREF At(int x, int y) const {
    GdiFlush();
    DWORD pixel = bits_[y * width_ + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
  }
  bool SameAs(const Canvas& other) const {
    GdiFlush();
    for (int i = 0; i < width_ * height_; ++i)
      if ((bits_[i] & 0xFFFFFF) != (other.bits_[i] & 0xFFFFFF)) return false;
    return true;
  }

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  DWORD* bits_ = nullptr;
};

bool Greenish(COLORREF c) { return GetGValue(c) > GetRValue(c) + 40; }
bool Reddish(COLORREF c) { return GetRValue(c) > GetGValue(c) + 40; }

class IconListBoxTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 200;
  static constexpr int kHeight = 32;

  void SetUp() override {
    icons_ = FillLikeTheWizard();
    ASSERT_NE(list_.Create(host_.hwnd(), RECT{0, 0, 300, 200}, 1011), nullptr);
  }
  void TearDown() override {
    host_.Destroy();
    DestroyIcons(icons_);
  }

  // Draws row `index` the way the list box asks its parent to.
  void DrawRow(const Canvas& canvas, int index, bool selected = false) {
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_LISTBOX;
    draw.CtlID = 1011;
    draw.itemID = static_cast<UINT>(index);
    draw.itemAction = ODA_DRAWENTIRE;
    draw.itemState = selected ? ODS_SELECTED : 0;
    draw.hwndItem = list_.hwnd();
    draw.hDC = canvas.dc();
    draw.rcItem = RECT{0, 0, kWidth, kHeight};
    draw.itemData = index < 0 ? 0 : SendMessageW(list_.hwnd(), LB_GETITEMDATA, index, 0);
    SendMessageW(host_.hwnd(), WM_DRAWITEM, 1011, reinterpret_cast<LPARAM>(&draw));
  }

  test::HostWindow host_;
  XIconListBox list_;
  std::vector<HICON> icons_;
};

TEST_F(IconListBoxTest, RowsAreThirtyTwoPixelsHighAndKeepTheirOrder) {
  EXPECT_EQ(SendMessageW(list_.hwnd(), LB_GETITEMHEIGHT, 0, 0), 32);
  UpdateEntry b, a;
  b.name = "Beta";
  a.name = "Alpha";
  EXPECT_EQ(list_.AddEntry("Beta 1.0.0", &b), 0);
  EXPECT_EQ(list_.AddEntry("Alpha 1.0.0", &a), 1);
  EXPECT_EQ(SendMessageW(list_.hwnd(), LB_GETITEMDATA, 0, 0), reinterpret_cast<LRESULT>(&b));
  EXPECT_EQ(SendMessageW(list_.hwnd(), LB_GETITEMDATA, 1, 0), reinterpret_cast<LRESULT>(&a));

  // A dialog's list box taken over later gets the same height.
  HWND other = CreateWindowExW(0, L"ListBox", L"", WS_CHILD | LBS_OWNERDRAWFIXED | LBS_NOTIFY, 0,
                               0, 100, 100, host_.hwnd(), reinterpret_cast<HMENU>(1012),
                               GetModuleHandleW(nullptr), nullptr);
  XIconListBox attached;
  ASSERT_TRUE(attached.Attach(other));
  EXPECT_EQ(SendMessageW(other, LB_GETITEMHEIGHT, 0, 0), 32);
  EXPECT_FALSE(attached.Attach(other));
}

TEST_F(IconListBoxTest, SuccessPictureOnlyWhenDownloadedAndInstalled) {
  struct Case {
    bool downloaded, installed, success;
  } cases[] = {{true, true, true}, {true, false, false}, {false, true, false}, {false, false, false}};
  for (const Case& c : cases) {
    UpdateEntry entry;
    entry.name = "Alpha";
    entry.downloaded = c.downloaded;
    entry.installed = c.installed;
    SendMessageW(list_.hwnd(), LB_RESETCONTENT, 0, 0);
    list_.AddEntry("Alpha", &entry);
    Canvas canvas(kWidth, kHeight);
    DrawRow(canvas, 0);
    COLORREF inside = canvas.At(8, 3);  // inside the round picture, clear of its mark
    EXPECT_EQ(Greenish(inside), c.success) << c.downloaded << c.installed;
    EXPECT_EQ(Reddish(inside), !c.success) << c.downloaded << c.installed;
  }
}

TEST_F(IconListBoxTest, TextIsRebuiltFromTheEntry) {
  UpdateEntry entry;
  entry.name = "Alpha & Co";
  entry.version = {2, 15, 7, 99};
  entry.downloaded = entry.installed = true;
  list_.AddEntry("stale text", &entry);

  Canvas drawn(kWidth, kHeight);
  DrawRow(drawn, 0);

  // The same row drawn by hand: background, success picture, then the name
  // and version (build, not subbuild) 20 pixels in and 1 down.
  Canvas expected(kWidth, kHeight);
  RECT rect = {0, 0, kWidth, kHeight};
  FillRect(expected.dc(), &rect, GetSysColorBrush(COLOR_WINDOW));
  IconImageList& icons = IconImageList::Instance();
  ImageList_Draw(icons.Images(), icons.IndexOf(161), expected.dc(), 0, 0, ILD_TRANSPARENT);
  rect.left += 20;
  rect.top += 1;
  SetBkMode(expected.dc(), TRANSPARENT);
  SetTextColor(expected.dc(), GetSysColor(COLOR_WINDOWTEXT));
  DrawTextA(expected.dc(), "Alpha & Co 2.15.7", -1, &rect,
            DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_TRUE(drawn.SameAs(expected));

  // Changed flags or version show on the next drawing.
  entry.version.build = 8;
  Canvas redrawn(kWidth, kHeight);
  DrawRow(redrawn, 0);
  EXPECT_FALSE(redrawn.SameAs(expected));
}

TEST_F(IconListBoxTest, SelectedRowIsHighlightedAndTheIconLetsItThrough) {
  UpdateEntry entry;
  entry.name = "Alpha";
  list_.AddEntry("Alpha", &entry);
  Canvas canvas(kWidth, kHeight);
  DrawRow(canvas, 0, true);
  const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
  EXPECT_EQ(canvas.At(kWidth - 1, kHeight - 1), highlight);
  EXPECT_EQ(canvas.At(0, 0), highlight) << "the failure picture's corner is transparent";
  EXPECT_TRUE(Reddish(canvas.At(8, 3)));
}

TEST_F(IconListBoxTest, RowsWithoutEntryOrNumberDrawOnlyWhatTheyHave) {
  Canvas untouched(kWidth, kHeight);
  Canvas canvas(kWidth, kHeight);
  DrawRow(canvas, -1);
  EXPECT_TRUE(canvas.SameAs(untouched)) << "no row: nothing drawn";

  list_.AddEntry("nothing", nullptr);
  DrawRow(canvas, 0);
  const COLORREF window = GetSysColor(COLOR_WINDOW);
  for (int x : {0, 8, 30, kWidth - 1}) EXPECT_EQ(canvas.At(x, 8), window);
}

}  // namespace
}  // namespace zvu
