#include "page_list_updates.h"

#include <richedit.h>

#include <vector>

#include "format_text.h"
#include "icon_image_list.h"
#include "open_link.h"
#include "product_registry.h"
#include "resource_ids.h"
#include "update_description.h"
#include "update_wizard.h"
#include "client_texts.h"

namespace zvu {
namespace {

std::string RowText(const char* format, const CatalogueEntry& entry, bool fullVersion) {
  const ProductVersion& v = entry.version;
  if (fullVersion) {
    return FormatText(format, entry.name.c_str(), static_cast<int>(v.major),
                      static_cast<int>(v.minor), static_cast<int>(v.build),
                      static_cast<int>(v.subbuild));
  }
  return FormatText(format, entry.name.c_str(), static_cast<int>(v.major),
                    static_cast<int>(v.minor));
}

}  // namespace

XPageListUpdates::XPageListUpdates(XUpdateWizard& wizard)
    : WizardPage(wizard, IDD_PAGE_LIST_UPDATES) {}

BOOL XPageListUpdates::OnInitDialog() {
  WizardPage::OnInitDialog();
  PrepareDescriptionPane();
  HWND tree = GetDlgItem(m_hWnd, IDC_UPDATE_TREE);
  SetWindowLongPtrA(tree, GWL_STYLE, GetWindowLongPtrA(tree, GWL_STYLE) | kTreeStyle);
  tree_.Attach(tree);
  SendMessageA(tree, TVM_SETIMAGELIST, TVSIL_NORMAL,
               reinterpret_cast<LPARAM>(IconImageList::Instance().Images()));
  FillTree();
  return TRUE;
}

void XPageListUpdates::PrepareDescriptionPane() const {
  HWND pane = GetDlgItem(m_hWnd, IDC_DESCRIPTION);
  SetWindowTextA(pane, "");
  SendMessageA(pane, EM_SETTEXTMODE, TM_RICHTEXT, 0);
  SendMessageA(pane, EM_SETWORDWRAPMODE, WBF_WORDWRAP, 0);
  SendMessageA(pane, EM_SETEVENTMASK, 0, ENM_LINK);
  SendMessageA(pane, EM_AUTOURLDETECT, TRUE, 0);
}

void XPageListUpdates::FillTree() {
  UpdateCatalogue& catalogue = Wizard().Catalogue();
  catalogue.ReadInstalledProducts();
  HTREEITEM firstRow = nullptr;

  for (CatalogueEntry& product : catalogue.OfferedProducts()) {
    if (!product.IsOfferedProduct()) continue;
    HTREEITEM row =
        tree_.InsertOfferItem(RowText(client_texts::kProductRow, product, false), TVI_ROOT, &product);
    if (firstRow == nullptr) firstRow = row;
  }

  for (UpdateEntry& update : catalogue.ApplicableUpdates()) {
    if (!update.IsApplicableUpdate()) {
      // Never downloaded: the user cannot see it, so cannot have chosen it.
      update.offered = false;
      continue;
    }
    CatalogueEntry* installed = nullptr;
    for (CatalogueEntry& product : catalogue.InstalledProducts()) {
      if (SameProductName(product.name, update.name)) {
        installed = &product;
        break;
      }
    }
    HTREEITEM heading =
        tree_.InsertHeadingItem(RowText(client_texts::kProductRow, update, false), installed);
    if (firstRow == nullptr) firstRow = heading;
    tree_.InsertCheckItem(RowText(client_texts::kUpdateRow, update, true), heading, &update);
    if (heading != nullptr) {
      SendMessageA(tree_.hwnd(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(heading));
    }
  }

  if (firstRow != nullptr) {
    SendMessageA(tree_.hwnd(), TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(firstRow));
  }
}

LRESULT XPageListUpdates::OnSetActive() {
  SetWizardButtons(PSWIZB_NEXT);
  return 0;
}

LRESULT XPageListUpdates::OnWizardNext() {
  if (Wizard().AnyUpdateChosen()) return 0;
  XUpdateWizard& wizard = Wizard();
  wizard.SetActivePage(XUpdateWizard::kErrorPage);
  // Posted after the error page's own request, so this one stands.
  SetWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
  wizard.ErrorPage().SetTexts(client_texts::kNothingChosen, client_texts::kThankYou);
  return -1;
}

LRESULT XPageListUpdates::OnQueryCancel() {
  Wizard().ShowInterrupted();
  return TRUE;
}

void XPageListUpdates::ShowDescription(const CheckTreeItemData* row) const {
  const std::string text = BuildDescriptionRtf(DescribeRow(row));
  HWND pane = GetDlgItem(m_hWnd, IDC_DESCRIPTION);
  CHARRANGE all{0, -1};
  SendMessageA(pane, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
  // Replacing the selection through EM_SETTEXTEX is what makes every rich
  // edit version read the text as rich text.
  SETTEXTEX replace{ST_SELECTION, CP_ACP};
  SendMessageA(pane, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&replace),
               reinterpret_cast<LPARAM>(text.c_str()));
}

void XPageListUpdates::OpenClickedLink(const ENLINK& link) const {
  HWND pane = GetDlgItem(m_hWnd, IDC_DESCRIPTION);
  CHARRANGE range = link.chrg;
  if (range.cpMax <= range.cpMin) return;
  SendMessageA(pane, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  // EM_GETSELTEXT writes the selection and its terminator; no size is given,
  // so the buffer holds the whole range (two bytes a character at most).
  std::vector<char> url(static_cast<size_t>(range.cpMax - range.cpMin) * 2 + 1, '\0');
  SendMessageA(pane, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(url.data()));
  url.back() = '\0';
  OpenLink(Sheet(), client_texts::kCaption, url.data(), SW_SHOW);
}

LRESULT XPageListUpdates::OnControlNotify(NMHDR* header) {
  if (header->idFrom == IDC_DESCRIPTION && header->code == EN_LINK) {
    const auto* link = reinterpret_cast<const ENLINK*>(header);
    if (link->msg == WM_LBUTTONDOWN) OpenClickedLink(*link);
  }
  return 0;
}

INT_PTR XPageListUpdates::HandleMessage(UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_XCHECKTREECTRL_TVN_SELECTION && message != 0) {
    ShowDescription(reinterpret_cast<const CheckTreeItemData*>(lParam));
    SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, 0);
    return TRUE;
  }
  return FALSE;
}

}  // namespace zvu
