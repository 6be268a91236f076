// Looks at a running update wizard from outside the client, for the
// wizard's end-to-end test. One command per run, output on standard output:
//   page     "index <n>" of the sheet's current page, then one line per
//            control of that page: "<id>|<class>|<text>", then one line per
//            wizard button: "button <id> <enabled> <visible>"
//   rect ID  screen rectangle "<left> <top> <right> <bottom>" of control ID
//            of the current page, or else of the sheet (its buttons)
//   tree ID  one line per row of tree view ID of the current page, in display
//            order: "<depth>|<picture index>|<text>"
//   exstyle  the sheet's extended window style, in hexadecimal ("0x...")
//   sheet    "<hwnd> <left> <top> <right> <bottom>": the sheet's handle (as
//            the desktop probe prints handles) and its screen rectangle
//   count    the number of visible wizard sheets
// Exit code 0 when a wizard was found, 1 otherwise.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kWizardButtons[] = {0x3023, 0x3024, 0x3025, IDCANCEL};

int g_sheets = 0;

BOOL CALLBACK FindWizard(HWND window, LPARAM found) {
  char className[16] = {};
  GetClassNameA(window, className, sizeof(className));
  // A wizard sheet is a dialog with the Next button of the common controls.
  if (std::string(className) != "#32770" || !IsWindowVisible(window) ||
      GetDlgItem(window, 0x3024) == nullptr) {
    return TRUE;
  }
  ++g_sheets;
  if (*reinterpret_cast<HWND*>(found) != nullptr) return TRUE;  // the first one found
  *reinterpret_cast<HWND*>(found) = window;
  return TRUE;  // the others are counted
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

// A tree view's items live in the client's process: the item record and its
// text buffer are placed there for each TVM_GETITEM and read back.
class RemoteTreeReader {
 public:
  explicit RemoteTreeReader(HWND tree) : tree_(tree) {
    DWORD pid = 0;
    GetWindowThreadProcessId(tree, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_ != nullptr) {
      remote_ = VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
  }
  ~RemoteTreeReader() {
    if (remote_ != nullptr) VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
    if (process_ != nullptr) CloseHandle(process_);
  }
  RemoteTreeReader(const RemoteTreeReader&) = delete;
  RemoteTreeReader& operator=(const RemoteTreeReader&) = delete;

  bool Ready() const { return remote_ != nullptr; }

  // Text and picture of one row; false when the row cannot be read.
  bool Read(HTREEITEM item, std::string& text, int& image) {
    auto* base = static_cast<char*>(remote_);
    TVITEMA request{};
    request.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_HANDLE;
    request.hItem = item;
    request.pszText = base + sizeof(TVITEMA);
    request.cchTextMax = kSize - sizeof(TVITEMA);
    SIZE_T moved = 0;
    if (!WriteProcessMemory(process_, remote_, &request, sizeof request, &moved)) return false;
    DWORD_PTR ok = 0;
    if (!SendMessageTimeoutA(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote_),
                             SMTO_ABORTIFHUNG, 2000, &ok) || !ok) {
      return false;
    }
    TVITEMA answer{};
    char buffer[kSize - sizeof(TVITEMA)] = {};
    if (!ReadProcessMemory(process_, remote_, &answer, sizeof answer, &moved) ||
        !ReadProcessMemory(process_, base + sizeof(TVITEMA), buffer, sizeof buffer - 1, &moved)) {
      return false;
    }
    text = buffer;
    image = answer.iImage;
    return true;
  }

 private:
  static constexpr SIZE_T kSize = 4096;
  HWND tree_;
  HANDLE process_ = nullptr;
  void* remote_ = nullptr;
};

HTREEITEM NextItem(HWND tree, HTREEITEM item, UINT relation) {
  DWORD_PTR next = 0;
  SendMessageTimeoutA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item),
                      SMTO_ABORTIFHUNG, 2000, &next);
  return reinterpret_cast<HTREEITEM>(next);
}

void PrintRows(HWND tree, RemoteTreeReader& reader, HTREEITEM first, int depth) {
  for (HTREEITEM item = first; item != nullptr; item = NextItem(tree, item, TVGN_NEXT)) {
    std::string text;
    int image = -1;
    const bool read = reader.Read(item, text, image);
    std::printf("%d|%d|%s\n", depth, image, read ? text.c_str() : "?");
    PrintRows(tree, reader, NextItem(tree, item, TVGN_CHILD), depth + 1);
  }
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
  } else if (command == "count") {
    std::printf("%d\n", g_sheets);
  } else if (command == "sheet") {
    RECT rect{};
    GetWindowRect(sheet, &rect);
    std::printf("%llx %ld %ld %ld %ld\n",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(sheet)), rect.left,
                rect.top, rect.right, rect.bottom);
  } else if (command == "exstyle") {
    std::printf("0x%lx\n", static_cast<unsigned long>(GetWindowLongPtrA(sheet, GWL_EXSTYLE)));
  } else if (command == "tree" && argc > 2 && page != 0) {
    HWND tree = GetDlgItem(reinterpret_cast<HWND>(page), std::atoi(argv[2]));
    if (tree == nullptr) return 1;
    RemoteTreeReader reader(tree);
    if (!reader.Ready()) return 1;
    PrintRows(tree, reader, NextItem(tree, nullptr, TVGN_ROOT), 0);
  }
  std::fflush(stdout);
  return 0;
}
