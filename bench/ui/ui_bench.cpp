// Times the tray client's start and its wizard from outside, polling the
// desktop every 5 ms in one process (a probe program started per poll would
// cost more than what it measures). One command per run:
//
//   ui_bench tray CLIENT.EXE      starts the client; prints "window <ms>" when
//                                 its hidden main window exists and "tray <ms>"
//                                 when the taskbar's notification area shows its icon
//   ui_bench select               sends "Check for Updates" to the running
//                                 client's main window (the tray menu's command);
//                                 prints "welcome <ms>", presses Next at once and
//                                 prints "selection <ms>" when the selection page
//                                 is the wizard's current page (from the command)
//   ui_bench cancel               closes an open wizard (Cancel, then Finish),
//                                 prints "none", "closed" or "failed: ..."
//   ui_bench close                cancels the wizard, ends the client through its
//                                 "Exit" command and waits until its window is gone
//   ui_bench handles NAME...      one line per process of those program names:
//                                 "<name> <pid> <handles> <threads>"
// Exit code 0 when every step was seen within a minute.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kMainClass[] = "VuroUpdate_{93F58607-6692-42a5-B316-8BAD954921AB}";
constexpr WPARAM kCheckForUpdates = 32776;
constexpr WPARAM kExit = 57665;
constexpr DWORD kPollMs = 5;
constexpr double kTimeoutMs = 60000;

LARGE_INTEGER g_frequency;

LONGLONG Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double MsSince(LONGLONG start) {
  return static_cast<double>(Now() - start) * 1000.0 / static_cast<double>(g_frequency.QuadPart);
}

// Waits until the condition holds; false after the timeout.
template <typename Condition>
bool WaitFor(LONGLONG start, Condition condition) {
  while (!condition()) {
    if (MsSince(start) > kTimeoutMs) return false;
    Sleep(kPollMs);
  }
  return true;
}

// The icons sit at the right end of the taskbar. Its pixels there, taken
// before the client starts, change when an icon is drawn; the comparison reads
// the screen, as a user sees it.
class TrayArea {
 public:
  static constexpr int kWidth = 24;

  bool Capture(std::vector<COLORREF>& pixels) const {
    HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
    RECT rect{};
    if (tray == nullptr || !IsWindowVisible(tray) || !GetWindowRect(tray, &rect)) return false;
    const int height = rect.bottom - rect.top;
    if (height <= 0 || rect.right - rect.left < kWidth) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool captured = false;
    if (bitmap != nullptr) {
      HGDIOBJ old = SelectObject(memory, bitmap);
      captured = BitBlt(memory, 0, 0, kWidth, height, screen, rect.right - kWidth, rect.top, SRCCOPY) != FALSE;
      GdiFlush();
      if (captured) {
        const COLORREF* first = static_cast<const COLORREF*>(bits);
        pixels.assign(first, first + static_cast<size_t>(kWidth) * static_cast<size_t>(height));
      }
      SelectObject(memory, old);
      DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return captured;
  }

  bool TakeEmpty() { return Capture(empty_); }

  bool ShowsIcon() const {
    std::vector<COLORREF> now;
    return Capture(now) && now != empty_;
  }

 private:
  std::vector<COLORREF> empty_;
};

BOOL CALLBACK FindSheet(HWND window, LPARAM found) {
  char className[16] = {};
  GetClassNameA(window, className, sizeof(className));
  // A wizard sheet is a dialog with the Next button of the common controls.
  if (std::strcmp(className, "#32770") != 0 || !IsWindowVisible(window) ||
      GetDlgItem(window, 0x3024) == nullptr) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

HWND Sheet() {
  HWND sheet = nullptr;
  EnumWindows(FindSheet, reinterpret_cast<LPARAM>(&sheet));
  return sheet;
}

int PageIndex(HWND sheet) {
  DWORD_PTR page = 0;
  if (!SendMessageTimeoutA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 2000, &page) ||
      page == 0) {
    return -1;
  }
  DWORD_PTR index = static_cast<DWORD_PTR>(-1);
  SendMessageTimeoutA(sheet, PSM_HWNDTOINDEX, page, 0, SMTO_ABORTIFHUNG, 2000, &index);
  return static_cast<int>(index);
}

bool OnPage(int index) {
  HWND sheet = Sheet();
  return sheet != nullptr && PageIndex(sheet) == index;
}

int Tray(const char* client) {
  TrayArea area;
  if (FindWindowA(kMainClass, nullptr) != nullptr || !area.TakeEmpty()) {
    std::printf("failed: a client runs already, or the taskbar is not there\n");
    return 1;
  }
  std::string folder = client;
  const size_t slash = folder.find_last_of("\\/");
  folder = slash == std::string::npos ? "." : folder.substr(0, slash);
  std::string commandLine = "\"";
  commandLine += client;
  commandLine += '"';
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  const LONGLONG start = Now();
  if (!CreateProcessA(client, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process)) {
    std::printf("failed: cannot start %s (%lu)\n", client, GetLastError());
    return 1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  bool window = false;
  bool tray = false;
  while (!(window && tray) && MsSince(start) < kTimeoutMs) {
    if (!window && FindWindowA(kMainClass, nullptr) != nullptr) {
      window = true;
      std::printf("window %.1f\n", MsSince(start));
    }
    if (!tray && area.ShowsIcon()) {
      tray = true;
      std::printf("tray %.1f\n", MsSince(start));
    }
    Sleep(kPollMs);
  }
  if (!(window && tray)) std::printf("failed: window %d tray %d\n", window, tray);
  return window && tray ? 0 : 1;
}

int Select() {
  HWND main = FindWindowA(kMainClass, nullptr);
  if (main == nullptr || Sheet() != nullptr) {
    std::printf("failed: no client running, or a wizard is open already\n");
    return 1;
  }
  const LONGLONG start = Now();
  PostMessageA(main, WM_COMMAND, kCheckForUpdates, 0);
  if (!WaitFor(start, [] { return OnPage(0); })) {
    std::printf("failed: no welcome page\n");
    return 1;
  }
  std::printf("welcome %.1f\n", MsSince(start));
  const LONGLONG next = Now();
  PostMessageA(Sheet(), PSM_PRESSBUTTON, PSBTN_NEXT, 0);
  if (!WaitFor(start, [] { return OnPage(2); })) {
    std::printf("failed: no selection page\n");
    return 1;
  }
  std::printf("selection %.1f\n", MsSince(start));
  std::printf("next-to-selection %.1f\n", MsSince(next));
  return 0;
}

// Closes an open wizard; true when none is left.
bool CloseWizard() {
  // Cancel leads to the page that says the run was interrupted; Finish there closes.
  for (int tries = 0; Sheet() != nullptr && tries < 40; ++tries) {
    HWND sheet = Sheet();
    PostMessageA(sheet, PSM_PRESSBUTTON, PageIndex(sheet) >= 4 ? PSBTN_FINISH : PSBTN_CANCEL, 0);
    Sleep(250);
  }
  return Sheet() == nullptr;
}

int Cancel() {
  const bool open = Sheet() != nullptr;
  const bool closed = CloseWizard();
  std::printf("%s\n", !open ? "none" : closed ? "closed" : "failed: the wizard stays open");
  return closed ? 0 : 1;
}

int Close() {
  const LONGLONG start = Now();
  CloseWizard();
  HWND main = FindWindowA(kMainClass, nullptr);
  if (main != nullptr) PostMessageA(main, WM_COMMAND, kExit, 0);
  const bool gone = WaitFor(start, [] { return FindWindowA(kMainClass, nullptr) == nullptr; });
  std::printf(gone ? "closed %.1f\n" : "failed: client or icon still there after %.1f ms\n",
              MsSince(start));
  return gone ? 0 : 1;
}

int Handles(int count, char** names) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 1;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  int listed = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    for (int i = 0; i < count; ++i) {
      if (lstrcmpiA(entry.szExeFile, names[i]) != 0) continue;
      DWORD handles = 0;
      HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
      // Wine answers 0 for another process: that is "not known", never a count.
      const bool known =
          process != nullptr && GetProcessHandleCount(process, &handles) && handles != 0;
      if (process != nullptr) CloseHandle(process);
      std::printf("%s %lu %s %lu\n", entry.szExeFile, entry.th32ProcessID,
                  known ? std::to_string(handles).c_str() : "-", entry.cntThreads);
      ++listed;
    }
  }
  CloseHandle(snapshot);
  return listed > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QueryPerformanceFrequency(&g_frequency);
  const std::string command = argc > 1 ? argv[1] : "";
  int result = 2;
  if (command == "tray" && argc > 2) {
    result = Tray(argv[2]);
  } else if (command == "select") {
    result = Select();
  } else if (command == "cancel") {
    result = Cancel();
  } else if (command == "close") {
    result = Close();
  } else if (command == "handles" && argc > 2) {
    result = Handles(argc - 2, argv + 2);
  } else {
    std::fprintf(stderr, "usage: ui_bench tray CLIENT.EXE | select | cancel | close | handles NAME...\n");
  }
  std::fflush(stdout);
  return result;
}
