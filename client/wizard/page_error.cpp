#include "page_error.h"

#include "headline_font.h"
#include "resource_ids.h"
#include "update_wizard.h"
#include "client_texts.h"

namespace zvu {
namespace {

BOOL CALLBACK FindUnnumberedLabel(HWND child, LPARAM found) {
  // Id -1 (0xFFFF in a 16-bit dialog template, all ones in an extended one).
  if ((GetDlgCtrlID(child) & 0xFFFF) != 0xFFFF) return TRUE;
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

}  // namespace

XPageError::XPageError(XUpdateWizard& wizard) : WizardPage(wizard, IDD_PAGE_ERROR) {}

BOOL XPageError::OnInitDialog() {
  WizardPage::OnInitDialog();
  headlineFont_ = CreateHeadlineFont();
  if (headlineFont_) {
    SendDlgItemMessageA(m_hWnd, IDC_ERROR_HEADLINE, WM_SETFONT,
                        reinterpret_cast<WPARAM>(headlineFont_.get()), TRUE);
  }
  if (Wizard().CatalogueError() == XUpdateWizard::kCatalogueNotParsed) {
    SetItemText(IDC_ERROR_HEADLINE, client_texts::kParseErrorHeadline);
  }
  return TRUE;
}

HWND XPageError::ExplanationLabel() const {
  HWND found = nullptr;
  if (m_hWnd != nullptr) EnumChildWindows(m_hWnd, FindUnnumberedLabel, reinterpret_cast<LPARAM>(&found));
  return found;
}

void XPageError::SetTexts(const char* explanation, const char* headline) const {
  if (HWND label = ExplanationLabel()) SetWindowTextA(label, explanation);
  SetItemText(IDC_ERROR_HEADLINE, headline);
}

INT_PTR XPageError::HandleMessage(UINT message, WPARAM, LPARAM) {
  if (message == WM_DESTROY) headlineFont_.reset();
  return FALSE;
}

LRESULT XPageError::OnSetActive() {
  SetWizardButtons(PSWIZB_FINISH);
  if (HWND sheet = Sheet()) SendMessageA(sheet, PSM_CANCELTOCLOSE, 0, 0);
  return 0;
}

LRESULT XPageError::OnWizardBack() {
  if (Wizard().AnyUpdateChosen()) return 0;
  Wizard().SetActivePage(XUpdateWizard::kSelectionPage);
  return -1;
}

}  // namespace zvu
