// Looks at a running update wizard from outside the client, for the
// wizard's end-to-end test. One command per run, output on standard output:
//   page     "index <n>" of the sheet's current page, then one line per
//            control of that page: "<id>|<class>|<text>", then one line per
//            wizard button: "button <id> <enabled> <visible>"
//   rect ID  screen rectangle "<left> <top> <right> <bottom>" of control ID
//            of the current page, or else of the sheet (its buttons)
// Exit code 0 when a wizard was found, 1 otherwise.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kWizardButtons[] = {0x3023, 0x3024, 0x3025, IDCANCEL};

BOOL CALLBACK FindWizard(HWND window, LPARAM found) {
  char className[16] = {};
  GetClassNameA(window, className, sizeof(className));
  // A wizard sheet is a dialog with the Next button of the common controls.
  if (std::string(className) != "#32770" || !IsWindowVisible(window) ||
      GetDlgItem(window, 0x3024) == nullptr) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

std::string Text(HWND window) {
  char text[1024] = {};
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 2000, nullptr);
  std::string result = text;
  for (char& c : result) {
    if (c == '\r' || c == '\n') c = '~';
  }
  return result;
}

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
  char className[64] = {};
  GetClassNameA(control, className, sizeof(className));
  std::printf("%d|%s|%s\n", GetDlgCtrlID(control), className, Text(control).c_str());
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  HWND sheet = nullptr;
  EnumWindows(FindWizard, reinterpret_cast<LPARAM>(&sheet));
  if (sheet == nullptr) return 1;
  DWORD_PTR page = 0;
  SendMessageTimeoutA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 2000, &page);
  const std::string command = argc > 1 ? argv[1] : "page";
  if (command == "page") {
    DWORD_PTR index = static_cast<DWORD_PTR>(-1);
    SendMessageTimeoutA(sheet, PSM_HWNDTOINDEX, page, 0, SMTO_ABORTIFHUNG, 2000, &index);
    std::printf("index %d\n", static_cast<int>(index));
    if (page != 0) EnumChildWindows(reinterpret_cast<HWND>(page), PrintControl, 0);
    for (int id : kWizardButtons) {
      HWND button = GetDlgItem(sheet, id);
      std::printf("button %d %d %d\n", id, button && IsWindowEnabled(button) ? 1 : 0,
                  button && IsWindowVisible(button) ? 1 : 0);
    }
  } else if (command == "rect" && argc > 2 && page != 0) {
    // A control of the current page, else one of the sheet (its buttons).
    const int id = std::atoi(argv[2]);
    HWND control = GetDlgItem(reinterpret_cast<HWND>(page), id);
    if (control == nullptr) control = GetDlgItem(sheet, id);
    RECT rect{};
    if (control == nullptr || !GetWindowRect(control, &rect)) return 1;
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
  }
  std::fflush(stdout);
  return 0;
}
