#include "about_box_probe.h"

#include <windows.h>

#include <fstream>
#include <vector>

#include "about_dialog.h"
#include "hyperlink_label.h"

namespace zvu::test {

namespace {

AboutBoxSeen seen;
std::string screenshot;
int ticks = 0;

std::string TextOf(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

BOOL CALLBACK FindAboutBox(HWND window, LPARAM found) {
  if (TextOf(window) != "About Vuro Update" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// Saves the window as it is on screen as a 24-bit bitmap file.
void SaveWindowPicture(HWND window, const std::string& path) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);

  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  const int stride = (width * 3 + 3) & ~3;
  std::vector<char> pixels(static_cast<size_t>(stride) * height);
  GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
            DIB_RGB_COLORS);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));

  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// The open About box of this thread, or null; a timer that has looked for
// it 200 times without finding it is stopped.
HWND OpenAboutBox(UINT_PTR timer) {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindAboutBox, reinterpret_cast<LPARAM>(&dialog));
  if (dialog == nullptr && ++ticks > 200) KillTimer(nullptr, timer);  // never opened: give up
  return dialog;
}

void CALLBACK Inspect(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = OpenAboutBox(timer);
  if (dialog == nullptr) return;
  // Let it paint before anything is read from the screen.
  if (!screenshot.empty() && ticks++ < 10) return;
  KillTimer(nullptr, timer);
  seen.opened = true;
  seen.caption = TextOf(dialog);
  HWND link = GetDlgItem(dialog, 1056);
  seen.versionLine = TextOf(GetDlgItem(dialog, 1054));
  seen.copyrightLine = TextOf(GetDlgItem(dialog, 1055));
  seen.linkText = TextOf(link);
  seen.linkIsHyperlink = GetPropA(link, kHyperlinkFromStatic) != nullptr;
  seen.linkHasNotifyStyle = (GetWindowLongPtrW(link, GWL_STYLE) & SS_NOTIFY) != 0;
  RECT client;
  GetClientRect(dialog, &client);
  seen.widthPixels = client.right;
  seen.heightPixels = client.bottom;
  HWND background = FindWindowExW(dialog, nullptr, L"Static", nullptr);
  while (background != nullptr && (GetWindowLongPtrW(background, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP)
    background = FindWindowExW(dialog, background, L"Static", nullptr);
  if (background != nullptr) {
    RECT picture;
    GetWindowRect(background, &picture);
    seen.backgroundWidth = picture.right - picture.left;
    seen.backgroundHeight = picture.bottom - picture.top;
  }
  if (!screenshot.empty()) SaveWindowPicture(dialog, screenshot);
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

bool linkClicked = false;

void CALLBACK ClickLink(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = OpenAboutBox(timer);
  if (dialog == nullptr) return;
  KillTimer(nullptr, timer);
  HWND link = GetDlgItem(dialog, 1056);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1056, STN_CLICKED), reinterpret_cast<LPARAM>(link));
  linkClicked = true;
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

}  // namespace

bool OpenAboutBoxAndClickTheLink(const LinkLauncher& launcher) {
  linkClicked = false;
  ticks = 0;
  UINT_PTR timer = SetTimer(nullptr, 0, 50, &ClickLink);
  AboutDialog(nullptr, launcher);
  KillTimer(nullptr, timer);
  return linkClicked;
}

AboutBoxSeen OpenAndReadAboutBox(const std::string& screenshotPath) {
  seen = {};
  screenshot = screenshotPath;
  ticks = 0;
  UINT_PTR timer = SetTimer(nullptr, 0, 50, &Inspect);
  AboutDialog(nullptr);
  KillTimer(nullptr, timer);
  return seen;
}

}  // namespace zvu::test
