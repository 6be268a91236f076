#include "property_page.h"

#include "unique_handle.h"

namespace zvu {

namespace {

// A static control that gets its picture from the dialog template loads the
// bitmap itself. Windows frees that bitmap with the control; Wine keeps it, so
// every page built again (a wizard for each catalogue the service hands over)
// left its picture behind. Taken out of the control first, the bitmap is freed
// here, once, on both.
void FreeTemplatePictures(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    char className[16] = {};
    GetClassNameA(child, className, sizeof(className));
    if (lstrcmpiA(className, "Static") != 0 ||
        (GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP) {
      continue;
    }
    const UniqueBitmap picture(
        reinterpret_cast<HBITMAP>(SendMessageA(child, STM_SETIMAGE, IMAGE_BITMAP, 0)));
  }
}

}  // namespace

PROPSHEETPAGEA PropertyPage::Descriptor(DWORD flags, const char* title, const char* headerTitle,
                                        const char* headerSubtitle) {
  PROPSHEETPAGEA page{};
  page.dwSize = sizeof(page);
  page.dwFlags = PSP_DEFAULT | flags;
  page.hInstance = GetModuleHandleA(nullptr);
  page.pszTemplate = MAKEINTRESOURCEA(templateId_);
  page.pfnDlgProc = &PropertyPage::Procedure;
  page.lParam = reinterpret_cast<LPARAM>(this);
  // The texts are kept here so that the descriptor stays valid while the
  // sheet runs.
  if (title != nullptr) {
    title_ = title;
    page.pszTitle = title_.c_str();
    page.dwFlags |= PSP_USETITLE;
  }
  if (headerTitle != nullptr) {
    headerTitle_ = headerTitle;
    page.pszHeaderTitle = headerTitle_.c_str();
    page.dwFlags |= PSP_USEHEADERTITLE;
  }
  if (headerSubtitle != nullptr) {
    headerSubtitle_ = headerSubtitle;
    page.pszHeaderSubTitle = headerSubtitle_.c_str();
    page.dwFlags |= PSP_USEHEADERSUBTITLE;
  }
  return page;
}

LRESULT PropertyPage::OnNotify(NMHDR*) { return 0; }

INT_PTR PropertyPage::HandleMessage(UINT, WPARAM, LPARAM) { return FALSE; }

INT_PTR CALLBACK PropertyPage::Procedure(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  PropertyPage* self = nullptr;
  if (message == WM_INITDIALOG) {
    const auto* descriptor = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
    self = descriptor != nullptr ? reinterpret_cast<PropertyPage*>(descriptor->lParam) : nullptr;
    if (self == nullptr) return FALSE;
    self->m_hWnd = page;
    SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    return self->OnInitDialog();
  }
  self = reinterpret_cast<PropertyPage*>(GetWindowLongPtrA(page, DWLP_USER));
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      self->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return TRUE;
    case WM_NOTIFY:
      SetWindowLongPtrA(page, DWLP_MSGRESULT, self->OnNotify(reinterpret_cast<NMHDR*>(lParam)));
      return TRUE;
    case WM_DESTROY:
      FreeTemplatePictures(page);
      return self->HandleMessage(message, wParam, lParam);
    case WM_NCDESTROY: {
      const INT_PTR handled = self->HandleMessage(message, wParam, lParam);
      SetWindowLongPtrA(page, DWLP_USER, 0);
      self->m_hWnd = nullptr;
      return handled;
    }
    default:
      return self->HandleMessage(message, wParam, lParam);
  }
}

INT_PTR RunPropertySheet(PROPSHEETHEADERA header, const std::vector<PropertyPage*>& pages,
                         const std::vector<PROPSHEETPAGEA>& descriptors) {
  if (pages.size() != descriptors.size() || pages.empty()) return -1;
  header.dwSize = sizeof(header);
  header.dwFlags |= PSH_PROPSHEETPAGE;
  header.dwFlags &= ~static_cast<DWORD>(PSH_MODELESS);
  if (header.hInstance == nullptr) header.hInstance = GetModuleHandleA(nullptr);
  header.nPages = static_cast<UINT>(descriptors.size());
  header.ppsp = descriptors.data();
  return PropertySheetA(&header);
}

}  // namespace zvu
