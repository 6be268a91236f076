#include "wizard_page.h"

#include "update_wizard.h"

namespace zvu {

bool WizardPage::IsActivePage() const {
  HWND sheet = Sheet();
  return sheet != nullptr && m_hWnd != nullptr &&
         reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)) == m_hWnd;
}

BOOL WizardPage::OnInitDialog() {
  wizard_.NoteSheet(Sheet());
  return TRUE;
}

LRESULT WizardPage::OnNotify(NMHDR* header) {
  if (header == nullptr) return 0;
  if (header->hwndFrom != Sheet()) return OnControlNotify(header);
  switch (header->code) {
    case PSN_SETACTIVE:
      return OnSetActive();
    case PSN_WIZNEXT:
      return OnWizardNext();
    case PSN_WIZBACK:
      return OnWizardBack();
    case PSN_WIZFINISH:
      return OnWizardFinish();
    case PSN_QUERYCANCEL:
      return OnQueryCancel();
    case PSN_RESET:
      OnReset();
      return 0;
    default:
      return 0;
  }
}

void WizardPage::SetWizardButtons(DWORD flags) const {
  if (HWND sheet = Sheet()) PostMessageA(sheet, PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(flags));
}

void WizardPage::SetItemText(int id, const char* text) const {
  if (m_hWnd != nullptr) SetDlgItemTextA(m_hWnd, id, text);
}

}  // namespace zvu
