#include "about_dialog.h"

#include <string>

#include "about_resources.h"
#include "hyperlink_label.h"
#include "open_link.h"
#include "program_version.h"
#include "client_texts.h"

namespace zvu {

namespace {

constexpr const char* kCaption = client_texts::kAboutCaption;

std::string LoadText(UINT id) {
  char buffer[4100];  // a string resource holds at most 4097 characters
  int length = LoadStringA(GetModuleHandleW(nullptr), id, buffer, sizeof buffer);
  return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

class AboutBox {
 public:
  explicit AboutBox(const LinkLauncher& launcher) : launcher_(launcher) {}
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void OnInitDialog(HWND dialog);
  void OpenWebSite(HWND dialog) const;

  const LinkLauncher& launcher_;
  std::string productVersion_;
  std::string legalCopyright_;
};

void AboutBox::OnInitDialog(HWND dialog) {
  ProgramVersionTexts texts = ReadProgramVersionTexts();
  productVersion_ = texts.productVersion;
  legalCopyright_ = texts.legalCopyright;
  SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, (client_texts::kAboutVersion + productVersion_).c_str());
  SetDlgItemTextA(dialog, IDC_ABOUT_COPYRIGHT, (client_texts::kAboutCopyright + legalCopyright_).c_str());
  SetDlgItemTextA(dialog, IDC_ABOUT_WEB_SITE, LoadText(IDS_WEB_SITE_HOST).c_str());
  MakeHyperlinkLabel(GetDlgItem(dialog, IDC_ABOUT_WEB_SITE));
}

void AboutBox::OpenWebSite(HWND dialog) const {
  OpenLink(dialog, kCaption, "http://" + LoadText(IDS_WEB_SITE_HOST), SW_SHOWNORMAL, launcher_);
}

INT_PTR CALLBACK AboutBox::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                      LPARAM lParam) {
  auto* box = reinterpret_cast<AboutBox*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      box = reinterpret_cast<AboutBox*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      box->OnInitDialog(dialog);
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      // The three lines stand on the picture: no background behind their
      // letters; the dialog's own brush fills the rest of each line.
      int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      if (id > 1053 && id <= IDC_ABOUT_WEB_SITE)
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return FALSE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
          EndDialog(dialog, LOWORD(wParam));
          return TRUE;
        case IDC_ABOUT_WEB_SITE:
          if (HIWORD(wParam) == STN_CLICKED && box != nullptr) box->OpenWebSite(dialog);
          return TRUE;
        default:
          break;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

void AboutDialog(HWND owner, const LinkLauncher& launcher) {
  AboutBox box(launcher);
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT_BOX), owner,
                  &AboutBox::DialogProc, reinterpret_cast<LPARAM>(&box));
}

}  // namespace zvu
