#include "icon_list_box.h"

#include <commctrl.h>

#include <cstdio>

#include "icon_image_list.h"

namespace zvu {

namespace {

constexpr UINT_PTR kSubclassId = 0x5A56494C;  // one subclass per list box object

// "name major.minor.build", the numbers in signed decimal as the catalogue
// writes them.
std::string RowText(const UpdateEntry& entry) {
  char numbers[3 * 12 + 4];
  std::snprintf(numbers, sizeof numbers, " %d.%d.%d", static_cast<int>(entry.version.major),
                static_cast<int>(entry.version.minor), static_cast<int>(entry.version.build));
  return entry.name + numbers;
}

}  // namespace

XIconListBox::~XIconListBox() { Detach(); }

bool XIconListBox::Attach(HWND listBox) {
  if (listBox_ != nullptr || !IsWindow(listBox)) return false;
  wchar_t className[16] = {};
  GetClassNameW(listBox, className, 16);
  if (lstrcmpiW(className, L"ListBox") != 0) return false;
  HWND parent = GetParent(listBox);
  if (parent == nullptr) return false;

  listBox_ = listBox;
  controlId_ = GetDlgCtrlID(listBox);
  if (!SubclassParent(parent) ||
      !SetWindowSubclass(listBox_, ListBoxProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    Detach();
    return false;
  }
  // The measure request of a fixed-height list box comes while it is being
  // created, before anyone could answer it; set the height directly.
  SendMessageW(listBox_, LB_SETITEMHEIGHT, 0, kItemHeight);
  return true;
}

HWND XIconListBox::Create(HWND parent, const RECT& rect, int id) {
  if (listBox_ != nullptr) return nullptr;
  HWND listBox = CreateWindowExW(0, L"ListBox", L"", kCreateStyle, rect.left, rect.top,
                                 rect.right - rect.left, rect.bottom - rect.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  if (listBox == nullptr) return nullptr;
  if (!Attach(listBox)) {
    DestroyWindow(listBox);
    return nullptr;
  }
  return listBox;
}

bool XIconListBox::SubclassParent(HWND parent) {
  if (!SetWindowSubclass(parent, ParentProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
    return false;
  parent_ = parent;
  return true;
}

void XIconListBox::Detach() {
  if (parent_ != nullptr) RemoveWindowSubclass(parent_, ParentProc, kSubclassId);
  if (listBox_ != nullptr) RemoveWindowSubclass(listBox_, ListBoxProc, kSubclassId);
  parent_ = nullptr;
  listBox_ = nullptr;
  controlId_ = 0;
}

int XIconListBox::AddEntry(const std::string& text, UpdateEntry* entry) {
  if (listBox_ == nullptr) return LB_ERR;
  // Without LBS_HASSTRINGS the list box keeps the pointer as item data;
  // the entry replaces it right away.
  auto index = static_cast<int>(
      SendMessageA(listBox_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
  if (index < 0) return LB_ERR;
  SendMessageA(listBox_, LB_SETITEMDATA, index, reinterpret_cast<LPARAM>(entry));
  return index;
}

void XIconListBox::MeasureItem(MEASUREITEMSTRUCT& measure) const {
  measure.itemHeight = kItemHeight;
}

void XIconListBox::DrawItem(const DRAWITEMSTRUCT& draw) const {
  if (draw.itemID == static_cast<UINT>(-1)) return;
  const bool selected = (draw.itemState & ODS_SELECTED) != 0;
  const COLORREF background = GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
  const COLORREF foreground = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);

  HDC dc = draw.hDC;
  const int saved = SaveDC(dc);
  RECT rect = draw.rcItem;
  SetBkColor(dc, background);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);

  const auto* entry = reinterpret_cast<const UpdateEntry*>(draw.itemData);
  if (entry != nullptr) {
    IconImageList& icons = IconImageList::Instance();
    const UINT icon = (entry->downloaded && entry->installed) ? kSuccessIcon : kFailureIcon;
    ImageList_Draw(icons.Images(), icons.IndexOf(icon), dc, rect.left, rect.top,
                   ILD_TRANSPARENT);

    const std::string text = RowText(*entry);
    rect.left += kTextIndent;
    rect.top += 1;
    SetTextColor(dc, foreground);
    SetBkMode(dc, TRANSPARENT);
    // No prefix handling: an ampersand in a product name is a character.
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  }
  RestoreDC(dc, saved);
}

LRESULT CALLBACK XIconListBox::ParentProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  auto* box = reinterpret_cast<XIconListBox*>(self);
  switch (message) {
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (measure != nullptr && measure->CtlType == ODT_LISTBOX &&
          static_cast<int>(measure->CtlID) == box->controlId_) {
        box->MeasureItem(*measure);
        return TRUE;
      }
      break;
    }
    case WM_DRAWITEM: {
      auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (draw != nullptr && draw->hwndItem == box->listBox_) {
        box->DrawItem(*draw);
        return TRUE;
      }
      break;
    }
    case WM_COMPAREITEM: {
      auto* compare = reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam);
      if (compare != nullptr && compare->hwndItem == box->listBox_)
        return box->CompareItem(*compare);
      break;
    }
    default:
      break;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CALLBACK XIconListBox::ListBoxProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  if (message == WM_NCDESTROY) reinterpret_cast<XIconListBox*>(self)->Detach();
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace zvu
