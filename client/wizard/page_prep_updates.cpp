#include "page_prep_updates.h"

#include "client_texts.h"
#include "http_client.h"
#include "program_log.h"
#include "resource_ids.h"
#include "update_wizard.h"

namespace zvu {

XPagePrepUpdates::XPagePrepUpdates(XUpdateWizard& wizard)
    : WizardPage(wizard, IDD_PAGE_PREP_UPDATES) {}

BOOL XPagePrepUpdates::OnInitDialog() {
  WizardPage::OnInitDialog();
  SendDlgItemMessageA(m_hWnd, IDC_PREP_PROGRESS, PBM_SETBARCOLOR, 0, kBarColour);
  return TRUE;
}

void XPagePrepUpdates::SetProgress(int position) const {
  SendDlgItemMessageA(m_hWnd, IDC_PREP_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

LRESULT XPagePrepUpdates::OnSetActive() {
  SetWizardButtons(0);
  SendDlgItemMessageA(m_hWnd, IDC_PREP_PROGRESS, PBM_SETRANGE32, 0, 100);
  SetProgress(20);
  XHttpClient& client = Wizard().Catalogue().HttpClient();
  // Set here, on the page's own thread, so that the client can gate its
  // notifications to this window.
  client.SetNotifyWindow(m_hWnd);
  // A fetch that cannot start sends nothing: the page then waits at 20 and
  // Cancel leads on.
  Wizard().Catalogue().FetchCatalogue();
  return 0;
}

void XPagePrepUpdates::OnHttpNotify() {
  // A late notification must not pull the user off a page they moved to.
  if (!IsActivePage()) return;
  UpdateCatalogue& catalogue = Wizard().Catalogue();
  XHttpClient& client = catalogue.HttpClient();
  switch (client.GetHttpState()) {
    case HttpState::Failed:
      Wizard().SetCatalogueError(XUpdateWizard::kCatalogueNotDownloaded);
      Wizard().SetActivePage(XUpdateWizard::kErrorPage);
      break;
    case HttpState::Complete: {
      client.SetHttpState(HttpState::Acknowledged);
      SetProgress(60);
      const std::string text = client.ResponseText();
      if (catalogue.ParseCatalogue(text)) {
        SetProgress(100);
        Wizard().SetActivePage(XUpdateWizard::kSelectionPage);
      } else {
        ProgramLog::Printf(client_texts::kCatalogueNotRead, static_cast<unsigned>(text.size()));
        Wizard().SetCatalogueError(XUpdateWizard::kCatalogueNotParsed);
        Wizard().SetActivePage(XUpdateWizard::kErrorPage);
      }
      break;
    }
    default:
      break;
  }
}

INT_PTR XPagePrepUpdates::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
  if (message == HttpClientNotifyMessage() && message != 0) {
    if (reinterpret_cast<XHttpClient*>(wParam) == &Wizard().Catalogue().HttpClient()) {
      OnHttpNotify();
    }
    SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, 0);
    return TRUE;
  }
  return FALSE;
}

LRESULT XPagePrepUpdates::OnQueryCancel() {
  Wizard().Catalogue().HttpClient().Cancel();
  Wizard().ShowInterrupted();
  return TRUE;
}

void XPagePrepUpdates::OnReset() { Wizard().Catalogue().HttpClient().Cancel(); }

}  // namespace zvu
