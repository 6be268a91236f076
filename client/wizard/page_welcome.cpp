#include "page_welcome.h"

#include "format_text.h"
#include "headline_font.h"
#include "resource_ids.h"
#include "update_wizard.h"
#include "client_texts.h"

namespace zvu {

XPageWelcome::XPageWelcome(XUpdateWizard& wizard) : WizardPage(wizard, IDD_PAGE_WELCOME) {}

BOOL XPageWelcome::OnInitDialog() {
  WizardPage::OnInitDialog();
  headlineFont_ = CreateHeadlineFont();

  HWND nextLabel = GetDlgItem(m_hWnd, IDC_NEXT_LABEL);
  nextLabelFont_ = CreateBoldCopyOf(nextLabel);
  if (nextLabelFont_) {
    SendMessageA(nextLabel, WM_SETFONT, reinterpret_cast<WPARAM>(nextLabelFont_.get()), TRUE);
  }
  if (headlineFont_) {
    SendDlgItemMessageA(m_hWnd, IDC_WELCOME_TITLE, WM_SETFONT,
                        reinterpret_cast<WPARAM>(headlineFont_.get()), TRUE);
  }

  UpdateCatalogue& catalogue = Wizard().Catalogue();
  catalogue.ReadInstalledProducts();
  for (const CatalogueEntry& product : catalogue.InstalledProducts()) {
    const std::string line =
        FormatText(client_texts::kInstalledLine, product.name.c_str(),
                   static_cast<int>(product.version.major), static_cast<int>(product.version.minor));
    // The list box keeps its lines sorted.
    SendDlgItemMessageA(m_hWnd, IDC_INSTALLED_LIST, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(line.c_str()));
  }
  return TRUE;
}

INT_PTR XPageWelcome::HandleMessage(UINT message, WPARAM, LPARAM) {
  if (message == WM_DESTROY) {
    // The labels go with the window; their fonts go now.
    headlineFont_.reset();
    nextLabelFont_.reset();
  }
  return FALSE;
}

LRESULT XPageWelcome::OnSetActive() {
  SetWizardButtons(PSWIZB_NEXT);
  return 0;
}

LRESULT XPageWelcome::OnQueryCancel() {
  Wizard().ShowInterrupted();
  return TRUE;
}

}  // namespace zvu
