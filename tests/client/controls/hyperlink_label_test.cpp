#include "hyperlink_label.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "host_window.h"

namespace zvu {
namespace {

// What a window's own procedure saw when WM_DESTROY reached it, after the
// link procedures had passed it on.
struct DestroySeen {
  bool seen = false;
  bool ownProcBack = false;
  std::map<std::string, HANDLE> properties;
  HFONT font = nullptr;
};

const char* const kAllProperties[] = {kHyperlinkOriginalProc, kHyperlinkOriginalFont,
                                      kHyperlinkUnderlineFont, kHyperlinkFromStatic};

DestroySeen parentSeen;
std::map<HWND, DestroySeen> labelsSeen;
std::map<HWND, WNDPROC> staticProcs;

void Record(HWND window, WNDPROC own, DestroySeen& seen) {
  seen.seen = true;
  seen.ownProcBack = GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(own);
  for (const char* name : kAllProperties)
    if (HANDLE value = GetPropA(window, name)) seen.properties[name] = value;
  seen.font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
}

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) Record(window, &ParentProc, parentSeen);
  if (message == WM_CTLCOLORSTATIC) return reinterpret_cast<LRESULT>(GetStockObject(GRAY_BRUSH));
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) Record(window, &LabelProc, labelsSeen[window]);
  return CallWindowProcW(staticProcs[window], window, message, wParam, lParam);
}

class HyperlinkLabelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parentSeen = {};
    labelsSeen.clear();
    staticProcs.clear();
    static bool registered = false;
    if (!registered) {
      WNDCLASSW windowClass = {};
      windowClass.lpfnWndProc = &ParentProc;
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      windowClass.lpszClassName = L"ZvuLinkParent";
      registered = RegisterClassW(&windowClass) != 0;
    }
    parent_ = CreateWindowExW(0, L"ZvuLinkParent", L"links", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              60, 60, 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr),
                              nullptr);
    ASSERT_NE(parent_, nullptr);
    font_ = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                        L"Tahoma");
  }
  void TearDown() override {
    if (IsWindow(parent_)) DestroyWindow(parent_);
    test::PumpMessages();
    DeleteObject(font_);
  }

  // A static text whose own procedure records what it sees on destroy.
  HWND AddLabel(const wchar_t* text, int y) {
    HWND label = CreateWindowExW(0, L"Static", text, WS_CHILD | WS_VISIBLE | SS_LEFT, 10, y, 120,
                                 16, parent_, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    staticProcs[label] = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LabelProc)));
    return label;
  }

  // The text colour, background mode and brush the parent gives a static.
  struct Colours {
    COLORREF text;
    int mode;
    LRESULT brush;
  };
  Colours ColoursFor(HWND label) {
    HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkMode(dc, OPAQUE);
    LRESULT brush = SendMessageW(parent_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(label));
    Colours colours{GetTextColor(dc), GetBkMode(dc), brush};
    DeleteDC(dc);
    return colours;
  }

  static bool Underlined(HWND label) {
    LOGFONTW description = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)),
               sizeof description, &description);
    return description.lfUnderline != 0;
  }

  HWND parent_ = nullptr;
  HFONT font_ = nullptr;
};

TEST_F(HyperlinkLabelTest, LabelIsConvertedAndRestoresItselfOnDestroy) {
  HWND label = AddLabel(L"www.zelko.example", 10);
  ASSERT_TRUE(MakeHyperlinkLabel(label));

  EXPECT_EQ(GetPropA(label, kHyperlinkOriginalProc), reinterpret_cast<HANDLE>(&LabelProc));
  EXPECT_EQ(GetPropA(label, kHyperlinkOriginalFont), font_);
  EXPECT_EQ(GetPropA(label, kHyperlinkFromStatic), reinterpret_cast<HANDLE>(1));
  auto underline = static_cast<HFONT>(GetPropA(label, kHyperlinkUnderlineFont));
  ASSERT_NE(underline, nullptr);
  LOGFONTW plain = {}, lined = {};
  GetObjectW(font_, sizeof plain, &plain);
  GetObjectW(underline, sizeof lined, &lined);
  EXPECT_TRUE(lined.lfUnderline);
  EXPECT_EQ(lined.lfHeight, plain.lfHeight);
  EXPECT_STREQ(lined.lfFaceName, plain.lfFaceName);
  EXPECT_EQ(GetPropA(parent_, kHyperlinkOriginalProc), reinterpret_cast<HANDLE>(&ParentProc));
  EXPECT_NE(GetWindowLongPtrW(label, GWL_STYLE) & SS_NOTIFY, 0);

  // Link colour over a transparent background; the brush is the parent's.
  Colours colours = ColoursFor(label);
  EXPECT_EQ(colours.text, kHyperlinkColour);
  EXPECT_EQ(colours.mode, TRANSPARENT);
  EXPECT_EQ(colours.brush, reinterpret_cast<LRESULT>(GetStockObject(GRAY_BRUSH)));

  // Hand cursor, handled by the label itself.
  EXPECT_EQ(SendMessageW(label, WM_SETCURSOR, reinterpret_cast<WPARAM>(label),
                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            TRUE);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));

  // Mouse onto the label: underlined and captured; off it: plain and free.
  SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(Underlined(label));
  EXPECT_EQ(GetCapture(), label);
  SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(6, 6));
  EXPECT_TRUE(Underlined(label)) << "still over the label";
  SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(400, 5));
  EXPECT_FALSE(Underlined(label));
  EXPECT_EQ(SendMessageW(label, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(font_));
  EXPECT_NE(GetCapture(), label);

  DestroyWindow(label);
  const DestroySeen& seen = labelsSeen[label];
  ASSERT_TRUE(seen.seen);
  EXPECT_TRUE(seen.ownProcBack);
  EXPECT_TRUE(seen.properties.empty());
  EXPECT_EQ(seen.font, font_);
  EXPECT_EQ(GetObjectType(underline), 0u) << "underline font deleted";

  DestroyWindow(parent_);
  ASSERT_TRUE(parentSeen.seen);
  EXPECT_TRUE(parentSeen.ownProcBack);
  EXPECT_TRUE(parentSeen.properties.empty());
}

TEST_F(HyperlinkLabelTest, ParentWithTwoLabelsIsSubclassedOnce) {
  HWND first = AddLabel(L"first", 10);
  HWND second = AddLabel(L"second", 40);
  HWND plain = AddLabel(L"plain", 70);
  ASSERT_TRUE(MakeHyperlinkLabel(first));
  const LONG_PTR linkParentProc = GetWindowLongPtrW(parent_, GWLP_WNDPROC);
  ASSERT_TRUE(MakeHyperlinkLabel(second));
  EXPECT_EQ(GetWindowLongPtrW(parent_, GWLP_WNDPROC), linkParentProc);
  EXPECT_EQ(GetPropA(parent_, kHyperlinkOriginalProc), reinterpret_cast<HANDLE>(&ParentProc));

  EXPECT_EQ(ColoursFor(first).text, kHyperlinkColour);
  EXPECT_EQ(ColoursFor(second).text, kHyperlinkColour);
  Colours other = ColoursFor(plain);
  EXPECT_EQ(other.text, RGB(1, 2, 3)) << "other statics keep the parent's colours";
  EXPECT_EQ(other.mode, OPAQUE);

  DestroyWindow(parent_);
  EXPECT_TRUE(parentSeen.ownProcBack);
  EXPECT_TRUE(labelsSeen[first].properties.empty());
  EXPECT_TRUE(labelsSeen[second].properties.empty());
}

TEST_F(HyperlinkLabelTest, ConvertingALabelTwiceKeepsOneLink) {
  HWND label = AddLabel(L"twice", 10);
  ASSERT_TRUE(MakeHyperlinkLabel(label));
  HANDLE underline = GetPropA(label, kHyperlinkUnderlineFont);
  ASSERT_TRUE(MakeHyperlinkLabel(label));
  EXPECT_EQ(GetPropA(label, kHyperlinkOriginalProc), reinterpret_cast<HANDLE>(&LabelProc));
  EXPECT_EQ(GetPropA(label, kHyperlinkUnderlineFont), underline);
  // Messages still reach the static's own procedure (no endless self-call).
  SetWindowTextW(label, L"changed");
  wchar_t text[16] = {};
  GetWindowTextW(label, text, 16);
  EXPECT_STREQ(text, L"changed");
  DestroyWindow(label);
  EXPECT_TRUE(labelsSeen[label].ownProcBack);
  EXPECT_TRUE(labelsSeen[label].properties.empty());
}

TEST_F(HyperlinkLabelTest, LabelWithoutFontGetsAnUnderlinedSystemFont) {
  HWND label = CreateWindowExW(0, L"Static", L"no font", WS_CHILD | WS_VISIBLE, 10, 10, 100, 16,
                               parent_, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(MakeHyperlinkLabel(label));
  EXPECT_EQ(GetPropA(label, kHyperlinkOriginalFont), nullptr);
  LOGFONTW lined = {}, system = {};
  ASSERT_NE(GetObjectW(GetPropA(label, kHyperlinkUnderlineFont), sizeof lined, &lined), 0);
  GetObjectW(GetStockObject(SYSTEM_FONT), sizeof system, &system);
  EXPECT_TRUE(lined.lfUnderline);
  EXPECT_EQ(lined.lfHeight, system.lfHeight);
  EXPECT_FALSE(MakeHyperlinkLabel(nullptr));
}

}  // namespace
}  // namespace zvu
