#include "update_wizard.h"

#include <vector>

#include "icon_image_list.h"
#include "installer_download.h"
#include "program_log.h"
#include "resource_ids.h"
#include "client_texts.h"

namespace zvu {
namespace {

// The fixed head of an extended dialog template (it has no declaration in
// the headers).
#pragma pack(push, 2)
struct ExtendedDialogTemplateHead {
  WORD dlgVer;
  WORD signature;
  DWORD helpID;
  DWORD exStyle;
  DWORD style;
};
#pragma pack(pop)

// String resource 102, the title of the exterior pages.
std::string ProductTitle() {
  char text[256] = {};
  if (LoadStringA(GetModuleHandleA(nullptr), IDS_PRODUCT_TITLE, text, sizeof(text)) <= 0) {
    return "Zelko Vuro Update";
  }
  return text;
}

// The sheet gets a taskbar button of its own: its owner, the program's main
// window, is never shown, so without one a wizard that opens behind other
// windows could not be found.
int CALLBACK SheetCallback(HWND, UINT message, LPARAM lParam) {
  if (message != PSCB_PRECREATE || lParam == 0) return 0;
  // The template is a DLGTEMPLATEEX when its second word is 0xFFFF.
  auto* words = reinterpret_cast<WORD*>(lParam);
  if (words[1] == 0xFFFF) {
    reinterpret_cast<ExtendedDialogTemplateHead*>(lParam)->exStyle |= WS_EX_APPWINDOW;
  } else {
    reinterpret_cast<DLGTEMPLATE*>(lParam)->dwExtendedStyle |= WS_EX_APPWINDOW;
  }
  return 0;
}

}  // namespace

XUpdateWizard::XUpdateWizard(const char* caption, HWND parent, int startPage)
    : welcomePage_(*this),
      searchPage_(*this),
      selectionPage_(*this),
      downloadPage_(*this),
      finishPage_(*this),
      errorPage_(*this),
      downloadFolder(zvu::DownloadFolder()),
      caption_(caption != nullptr ? caption : ""),
      parent_(parent),
      startPage_(startPage) {
  IconImageList& pictures = IconImageList::Instance();
  pictures.Reset();
  for (size_t i = 0; i < kIcons.size(); ++i) icons_[i].reset(pictures.AddIcon(kIcons[i]));
}

// The icons, the folder, the catalogue and the pages go in that order, as
// the members are destroyed.
XUpdateWizard::~XUpdateWizard() = default;

INT_PTR XUpdateWizard::DoModal() {
  const std::string title = ProductTitle();
  using client_texts::kDownloadSubtitle;
  using client_texts::kDownloadTitle;
  using client_texts::kSearchSubtitle;
  using client_texts::kSearchTitle;
  using client_texts::kSelectSubtitle;
  using client_texts::kSelectTitle;
  const std::vector<PropertyPage*> pages = {&welcomePage_,  &searchPage_, &selectionPage_,
                                            &downloadPage_, &finishPage_, &errorPage_};
  const std::vector<PROPSHEETPAGEA> descriptors = {
      welcomePage_.Descriptor(PSP_HIDEHEADER, title.c_str(), title.c_str(), nullptr),
      searchPage_.Descriptor(0, nullptr, kSearchTitle, kSearchSubtitle),
      selectionPage_.Descriptor(0, nullptr, kSelectTitle, kSelectSubtitle),
      downloadPage_.Descriptor(0, nullptr, kDownloadTitle, kDownloadSubtitle),
      finishPage_.Descriptor(PSP_HIDEHEADER, title.c_str(), title.c_str(), nullptr),
      errorPage_.Descriptor(PSP_HIDEHEADER, nullptr, nullptr, nullptr),
  };

  PROPSHEETHEADERA header{};
  header.dwFlags = PSH_WIZARD97 | PSH_WATERMARK | PSH_HEADER | PSH_USEICONID | PSH_USECALLBACK;
  header.pfnCallback = &SheetCallback;
  header.hwndParent = parent_;
  header.hInstance = GetModuleHandleA(nullptr);
  header.pszCaption = caption_.c_str();
  header.nStartPage = static_cast<UINT>(startPage_);
  header.pszIcon = MAKEINTRESOURCEA(IDR_MAINFRAME);
  header.pszbmWatermark = MAKEINTRESOURCEA(IDB_WATERMARK);
  header.pszbmHeader = MAKEINTRESOURCEA(IDB_HEADER);
  const INT_PTR result = RunPropertySheet(header, pages, descriptors);
  m_hWnd = nullptr;
  return result;
}

void XUpdateWizard::SetActivePage(int index) {
  if (index < kWelcomePage || index > kErrorPage) return;
  if (m_hWnd == nullptr) {
    startPage_ = index;
    return;
  }
  SendMessageA(m_hWnd, PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
}

bool XUpdateWizard::OpenOnCatalogue(const std::string& text) {
  const bool parsed = catalogue_.ParseCatalogue(text);
  if (!parsed) ProgramLog::Printf(client_texts::kCatalogueNotRead, static_cast<unsigned>(text.size()));
  SetActivePage(parsed ? kSelectionPage : kErrorPage);
  return parsed;
}

void XUpdateWizard::ShowInterrupted() {
  SetActivePage(kErrorPage);
  errorPage_.SetTexts(client_texts::kInterrupted, client_texts::kThankYou);
}

void XUpdateWizard::BringToFront() const {
  if (m_hWnd == nullptr) return;
  if (IsIconic(m_hWnd)) ShowWindow(m_hWnd, SW_RESTORE);
  SetForegroundWindow(m_hWnd);
  BringWindowToTop(m_hWnd);
}

int XUpdateWizard::ActivePageIndex() const {
  if (m_hWnd == nullptr) return -1;
  HWND page = reinterpret_cast<HWND>(SendMessageA(m_hWnd, PSM_GETCURRENTPAGEHWND, 0, 0));
  if (page == nullptr) return -1;
  return static_cast<int>(SendMessageA(m_hWnd, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page), 0));
}

bool XUpdateWizard::AnyUpdateChosen() const {
  for (const UpdateEntry& update : catalogue_.ApplicableUpdates()) {
    if (update.offered) return true;
  }
  return false;
}

void XUpdateWizard::NoteSheet(HWND sheet) {
  if (sheet != nullptr) m_hWnd = sheet;
}

}  // namespace zvu
