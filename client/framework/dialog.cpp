#include "dialog.h"

namespace zvu {

INT_PTR Dialog::DoModal(HWND owner) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), owner,
                         &Dialog::Procedure, reinterpret_cast<LPARAM>(this));
}

void Dialog::OnCommand(WORD id, WORD, HWND) {
  if (id == IDOK || id == IDCANCEL) EndDialog(m_hWnd, id);
}

INT_PTR Dialog::HandleMessage(UINT, WPARAM, LPARAM) { return FALSE; }

INT_PTR CALLBACK Dialog::Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  Dialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lParam);
    if (self == nullptr) return FALSE;
    self->m_hWnd = dialog;
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    return self->OnInitDialog();
  }
  self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      self->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return TRUE;
    case WM_NCDESTROY: {
      const INT_PTR handled = self->HandleMessage(message, wParam, lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, 0);
      self->m_hWnd = nullptr;
      return handled;
    }
    default:
      return self->HandleMessage(message, wParam, lParam);
  }
}

}  // namespace zvu
