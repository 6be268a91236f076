#include "page_finish.h"

#include "format_text.h"
#include "headline_font.h"
#include "resource_ids.h"
#include "update_wizard.h"
#include "client_texts.h"

namespace zvu {

XPageFinish::XPageFinish(XUpdateWizard& wizard) : WizardPage(wizard, IDD_PAGE_FINISH) {}

const char* XPageFinish::ResultLine(const UpdateEntry& update) {
  if (!update.downloaded) return client_texts::kDownloadFailed;
  if (!update.installed) return client_texts::kInstallFailed;
  return client_texts::kInstalledOk;
}

std::string XPageFinish::ResultRow(const UpdateEntry& update) {
  return FormatText(client_texts::kResultRow, update.name.c_str(),
                    static_cast<int>(update.version.major), static_cast<int>(update.version.minor),
                    static_cast<int>(update.version.build));
}

BOOL XPageFinish::OnInitDialog() {
  WizardPage::OnInitDialog();
  headlineFont_ = CreateHeadlineFont();
  if (headlineFont_) {
    SendDlgItemMessageA(m_hWnd, IDC_FINISH_TITLE, WM_SETFONT,
                        reinterpret_cast<WPARAM>(headlineFont_.get()), TRUE);
  }
  resultList_.Attach(GetDlgItem(m_hWnd, IDC_RESULT_LIST));
  for (UpdateEntry& update : Wizard().Catalogue().ApplicableUpdates()) {
    if (!update.offered) continue;
    resultList_.AddEntry(ResultRow(update), &update);
  }
  return TRUE;
}

void XPageFinish::OnCommand(WORD id, WORD code, HWND control) {
  if (id != IDC_RESULT_LIST || code != LBN_SELCHANGE) return;
  const LRESULT selected = SendMessageA(control, LB_GETCURSEL, 0, 0);
  if (selected == LB_ERR) return;
  const LRESULT data = SendMessageA(control, LB_GETITEMDATA, static_cast<WPARAM>(selected), 0);
  if (data == LB_ERR || data == 0) return;
  SetItemText(IDC_RESULT_LINE, ResultLine(*reinterpret_cast<const UpdateEntry*>(data)));
}

INT_PTR XPageFinish::HandleMessage(UINT message, WPARAM, LPARAM) {
  if (message == WM_DESTROY) headlineFont_.reset();
  return FALSE;
}

LRESULT XPageFinish::OnSetActive() {
  SetWizardButtons(PSWIZB_FINISH);
  if (HWND sheet = Sheet()) SendMessageA(sheet, PSM_CANCELTOCLOSE, 0, 0);
  return 0;
}

}  // namespace zvu
