// The download page's throughput against XHttpClient::GetToFile alone, in
// the same run, for the same file.
//   wizard_download_bench <host> <object> <log file> [rounds] [page]
// Each round times GetToFile alone (no window) and then the wizard's download
// page downloading the same file as the only chosen update, from the page's
// start to its "complete!" status line; with "page" as the last argument only
// the page (bench/http/run.sh times GetToFile itself, in its own rounds). Both
// write the transfer log, as the client does. Prints
// "getfile <bytes> <seconds>" and "page <bytes> <seconds>" lines.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "http_client.h"
#include "installer_download.h"
#include "program_log.h"
#include "resource_ids.h"
#include "update_wizard.h"

namespace {

std::string g_host;
std::string g_object;
LARGE_INTEGER g_frequency;
LARGE_INTEGER g_pageStart{};
LARGE_INTEGER g_pageComplete{};
zvu::XUpdateWizard* g_wizard = nullptr;
bool g_pressedNext = false;
bool g_pressedFinish = false;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(g_frequency.QuadPart);
}

std::string LocalFile() {
  const std::string object = g_object;
  return zvu::DownloadFolder() + "\\" + object.substr(object.rfind('/') + 1);
}

void TimeGetToFile() {
  zvu::EnsureDownloadFolder(zvu::DownloadFolder());
  zvu::XHttpClient client;
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  client.Connect(std::wstring(g_host.begin(), g_host.end()), false, true);
  client.SetObject(std::wstring(g_object.begin(), g_object.end()));
  if (client.GetToFile(LocalFile()) != 0) {
    std::printf("getfile failed to start\n");
    return;
  }
  zvu::HttpState state;
  while ((state = client.GetHttpState()) != zvu::HttpState::Complete &&
         state != zvu::HttpState::Failed) {
    Sleep(1);
  }
  QueryPerformanceCounter(&end);
  std::printf("getfile %llu %.3f %s\n", static_cast<unsigned long long>(client.ReceivedBytes()),
              Seconds(start, end), state == zvu::HttpState::Complete ? "complete" : "failed");
  DeleteFileA(LocalFile().c_str());
}

// The moment the page reports the download complete.
LRESULT CALLBACK WatchStatus(int code, WPARAM wParam, LPARAM lParam) {
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == WM_SETTEXT && call->lParam != 0 &&
      GetDlgCtrlID(call->hwnd) == IDC_DOWNLOAD_STATUS && g_pageComplete.QuadPart == 0) {
    const std::string text = reinterpret_cast<const char*>(call->lParam);
    if (text.size() > 9 && text.compare(text.size() - 9, 9, "complete!") == 0) {
      QueryPerformanceCounter(&g_pageComplete);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Presses Next on the selection page, and Finish once the finish page shows.
void CALLBACK Drive(HWND, UINT, UINT_PTR, DWORD) {
  HWND sheet = g_wizard->Handle();
  if (sheet == nullptr) return;
  const int page = g_wizard->ActivePageIndex();
  if (page == zvu::XUpdateWizard::kSelectionPage && !g_pressedNext) {
    g_pressedNext = true;
    QueryPerformanceCounter(&g_pageStart);
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
  } else if (page == zvu::XUpdateWizard::kFinishPage && !g_pressedFinish) {
    g_pressedFinish = true;
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    PostMessageA(sheet, WM_NULL, 0, 0);
  }
}

void TimeDownloadPage() {
  g_pageStart.QuadPart = g_pageComplete.QuadPart = 0;
  g_pressedNext = g_pressedFinish = false;
  const std::string xml =
      "<catalogue><updates><update><product>Bench</product><major>1</major><minor>1</minor>"
      "<build>0</build><url>http://" + g_host + g_object + "</url></update></updates></catalogue>";
  unsigned long long bytes = 0;
  {
    zvu::XUpdateWizard wizard("Vuro Update", nullptr, zvu::XUpdateWizard::kWelcomePage);
    g_wizard = &wizard;
    wizard.OpenOnCatalogue(xml);
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, WatchStatus, nullptr, GetCurrentThreadId());
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, Drive);
    wizard.DoModal();
    KillTimer(nullptr, timer);
    UnhookWindowsHookEx(hook);
    bytes = wizard.DownloadPage().DownloadClient().ReceivedBytes();
    g_wizard = nullptr;
  }
  std::printf("page %llu %.3f %s\n", bytes, Seconds(g_pageStart, g_pageComplete),
              g_pageComplete.QuadPart != 0 ? "complete" : "failed");
  DeleteFileA(LocalFile().c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <host> <object> <log file> [rounds] [page]\n", argv[0]);
    return 2;
  }
  g_host = argv[1];
  g_object = argv[2];
  const int rounds = argc > 4 ? std::atoi(argv[4]) : 2;
  const bool pageOnly = argc > 5 && std::string(argv[5]) == "page";
  QueryPerformanceFrequency(&g_frequency);
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  LoadLibraryA("riched20.dll");
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zelko\\Bench", 0, nullptr, 0, KEY_WRITE,
                      nullptr, &key, nullptr) == ERROR_SUCCESS) {
    const DWORD one = 1, zero = 0;
    RegSetValueExA(key, "Major", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    RegSetValueExA(key, "Minor", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), sizeof(zero));
    RegSetValueExA(key, "build", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), sizeof(zero));
    RegCloseKey(key);
  }
  zvu::ProgramLog::Open(argv[3]);
  for (int round = 0; round < rounds; ++round) {
    if (!pageOnly) TimeGetToFile();
    TimeDownloadPage();
    std::fflush(stdout);
  }
  zvu::ProgramLog::Close();
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Zelko\\Bench");
  return 0;
}
