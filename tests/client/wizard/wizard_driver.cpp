#include "wizard_driver.h"

#include <gtest/gtest.h>

#include "resource_ids.h"
#include "cursor.h"
#include "test_env.h"
#include "unique_handle.h"
#include "wait_until.h"

namespace zvu::test {
namespace {

constexpr char kHelperClass[] = "ZvuWizardTestInvoke";
constexpr UINT kInvokeMessage = WM_APP + 7;
constexpr DWORD kSendLimitMs = 30000;

struct Invocation {
  const std::function<void(XUpdateWizard&)>* work;
  XUpdateWizard* wizard;
};

LRESULT CALLBACK HelperProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kInvokeMessage) {
    auto* call = reinterpret_cast<Invocation*>(lParam);
    (*call->work)(*call->wizard);
    return 1;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateHelper() {
  static const bool registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = HelperProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kHelperClass;
    return RegisterClassA(&windowClass) != 0;
  }();
  if (!registered) return nullptr;
  return CreateWindowExA(0, kHelperClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

std::string WindowText(HWND window) {
  if (window == nullptr) return "<no window>";
  char text[4096] = {};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                      SMTO_NORMAL, kSendLimitMs, &ignored);
  return text;
}

BOOL CALLBACK FindUnnumbered(HWND child, LPARAM found) {
  if ((GetDlgCtrlID(child) & 0xFFFF) != 0xFFFF) return TRUE;
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

}  // namespace

WizardDriver::WizardDriver(int startPage, std::function<void(XUpdateWizard&)> prepare)
    : ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      ended_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  thread_ = std::thread(&WizardDriver::GuiThread, this, startPage, std::move(prepare));
  if (WaitForSingleObject(ready_, 15000) != WAIT_OBJECT_0 || helper_ == nullptr) return;
  WaitUntil([&] {
    HWND sheet = nullptr;
    Invoke([&](XUpdateWizard& wizard) { sheet = wizard.Handle(); });
    sheet_ = sheet;
    return sheet_ != nullptr || WaitForSingleObject(ended_, 0) == WAIT_OBJECT_0;
  });
}

WizardDriver::~WizardDriver() {
  if (sheet_ != nullptr && WaitForSingleObject(ended_, 0) != WAIT_OBJECT_0) {
    // The error page accepts the close that every other page may refuse.
    Invoke([](XUpdateWizard& wizard) { wizard.SetActivePage(XUpdateWizard::kErrorPage); });
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(sheet_, PSM_PRESSBUTTON, PSBTN_CANCEL, 0, SMTO_NORMAL, kSendLimitMs,
                        &ignored);
    PostMessageA(sheet_, WM_NULL, 0, 0);
    WaitForSingleObject(ended_, 15000);
  }
  if (thread_.joinable()) {
    PostThreadMessageA(guiThreadId_, WM_QUIT, 0, 0);
    thread_.join();
  }
  CloseHandle(ready_);
  CloseHandle(ended_);
}

void WizardDriver::GuiThread(int startPage, std::function<void(XUpdateWizard&)> prepare) {
  // What the client's start-up does before any wizard runs.
  static const bool controlsReady = [] {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    return LoadLibraryA("riched20.dll") != nullptr;
  }();
  (void)controlsReady;
  guiThreadId_ = GetCurrentThreadId();
  helper_ = CreateHelper();
  // The wizard lives until the driver goes, so that tests can look at it
  // after its run.
  XUpdateWizard wizard("Vuro Update", nullptr, startPage);
  wizard_ = &wizard;
  if (prepare) prepare(wizard);
  SetEvent(ready_);
  if (helper_ != nullptr) wizard.DoModal();
  SetEvent(ended_);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (helper_ != nullptr) DestroyWindow(helper_);
  wizard_ = nullptr;
}

void WizardDriver::Invoke(const std::function<void(XUpdateWizard&)>& work) {
  if (helper_ == nullptr || wizard_ == nullptr) return;
  Invocation call{&work, wizard_};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(helper_, kInvokeMessage, 0, reinterpret_cast<LPARAM>(&call), SMTO_NORMAL,
                      kSendLimitMs, &ignored);
}

int WizardDriver::ActivePage() {
  int index = -1;
  Invoke([&](XUpdateWizard& wizard) { index = wizard.ActivePageIndex(); });
  return index;
}

bool WizardDriver::WaitForPage(int index, DWORD limitMs) {
  return WaitUntil([&] { return ActivePage() == index; }, limitMs);
}

HWND WizardDriver::Page(int index) {
  DWORD_PTR page = 0;
  if (sheet_ == nullptr) return nullptr;
  SendMessageTimeoutA(sheet_, PSM_INDEXTOHWND, static_cast<WPARAM>(index), 0, SMTO_NORMAL,
                      kSendLimitMs, &page);
  return reinterpret_cast<HWND>(page);
}

std::string WizardDriver::Text(int page, int controlId) {
  HWND window = Page(page);
  return WindowText(window != nullptr ? GetDlgItem(window, controlId) : nullptr);
}

std::string WizardDriver::ErrorExplanation() {
  HWND label = nullptr;
  if (HWND page = Page(XUpdateWizard::kErrorPage)) {
    EnumChildWindows(page, FindUnnumbered, reinterpret_cast<LPARAM>(&label));
  }
  return WindowText(label);
}

std::vector<std::string> WizardDriver::ResultLines() {
  std::vector<std::string> lines;
  HWND page = Page(XUpdateWizard::kFinishPage);
  HWND list = page != nullptr ? GetDlgItem(page, IDC_RESULT_LIST) : nullptr;
  if (list == nullptr) return lines;
  Invoke([&](XUpdateWizard&) {
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      const auto* update = reinterpret_cast<const UpdateEntry*>(
          SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0));
      if (update == nullptr) continue;
      lines.push_back(update->name + " " + std::to_string(update->version.major) + "." +
                      std::to_string(update->version.minor) + "." +
                      std::to_string(update->version.build));
    }
  });
  return lines;
}

std::vector<std::string> WizardDriver::ListLines(int page, int controlId) {
  std::vector<std::string> lines;
  HWND pageWindow = Page(page);
  HWND list = pageWindow != nullptr ? GetDlgItem(pageWindow, controlId) : nullptr;
  if (list == nullptr) return lines;
  const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char line[1024] = {};
    if (SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) >= LRESULT(sizeof(line))) continue;
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line));
    lines.emplace_back(line);
  }
  return lines;
}

void WizardDriver::Press(int button) {
  DWORD_PTR ignored = 0;
  if (sheet_ != nullptr) {
    SendMessageTimeoutA(sheet_, PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0, SMTO_NORMAL,
                        kSendLimitMs, &ignored);
    // The sheet's loop sees that the run has ended only when a message is
    // posted to it (a click brings its own).
    PostMessageA(sheet_, WM_NULL, 0, 0);
  }
}

bool WizardDriver::ButtonEnabled(int controlId) {
  HWND button = sheet_ != nullptr ? GetDlgItem(sheet_, controlId) : nullptr;
  return button != nullptr && IsWindowVisible(button) && IsWindowEnabled(button);
}

bool WizardDriver::WaitForEnd(DWORD limitMs) {
  return WaitForSingleObject(ended_, limitMs) == WAIT_OBJECT_0;
}

void WizardDriver::Click(HWND window, POINT clientPoint) {
  MoveCursorTo(window, clientPoint);
  const LPARAM at = MAKELPARAM(clientPoint.x, clientPoint.y);
  PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(window, WM_LBUTTONUP, 0, at);
}

namespace {
void DeleteProductsKeys() {
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    // A recursive delete works in the view its handle was opened in.
    UniqueRegKey software;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0,
                      DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | view,
                      software.put()) == ERROR_SUCCESS) {
      RegDeleteTreeA(software.get(), "Zelko");
    } else {
      software.release();
    }
  }
}
}  // namespace

InstalledProducts::InstalledProducts() { DeleteProductsKeys(); }

InstalledProducts::~InstalledProducts() { DeleteProductsKeys(); }

void InstalledProducts::Add(const std::string& name, DWORD major, DWORD minor, DWORD build,
                            REGSAM view) {
  HKEY key = nullptr;
  const std::string path = "Software\\Zelko\\" + name;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE | view,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::pair<const char*, DWORD> values[] = {{"Major", major}, {"Minor", minor}, {"build", build}};
  for (const auto& [value, number] : values) {
    RegSetValueExA(key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
  }
  RegCloseKey(key);
}

void ServeCatalogue(const std::string& xml) {
  if (xml.empty()) {
    DeleteFileA((FixtureDirWindows() + "\\update.xml").c_str());
    return;
  }
  ASSERT_TRUE(WriteFixtureFile("update.xml", xml));
}

bool ServeSetupProgram(const std::string& name) {
  std::string source = "Z:" ZVU_TEST_FAKE_SETUP;
  for (char& c : source) {
    if (c == '/') c = '\\';
  }
  const std::string target = FixtureDirWindows() + "\\files\\" + name;
  return CopyFileA(source.c_str(), target.c_str(), FALSE) != FALSE;
}

std::string FileUrl(const std::string& pathAndQuery) {
  return std::string("http://") + ZVU_TEST_UPDATE_HOST + pathAndQuery;
}

std::string UpdateXml(const std::string& product, int major, int minor, int build, int subbuild,
                      const std::string& url, int size, const std::string& description) {
  return "<update><product>" + product + "</product><description>" + description +
         "</description><major>" + std::to_string(major) + "</major><minor>" +
         std::to_string(minor) + "</minor><build>" + std::to_string(build) + "</build><subbuild>" +
         std::to_string(subbuild) + "</subbuild><url>" + url + "</url><size>" +
         std::to_string(size) + "</size></update>";
}

std::string ProductXml(const std::string& product, int major, int minor,
                       const std::string& description) {
  return "<product><product>" + product + "</product><description>" + description +
         "</description><major>" + std::to_string(major) + "</major><minor>" +
         std::to_string(minor) + "</minor><build>0</build><subbuild>0</subbuild><size>2048</size></product>";
}

std::string CatalogueXml(const std::string& products, const std::string& updates) {
  return "<?xml version=\"1.0\"?><catalogue><products>" + products + "</products><updates>" +
         updates + "</updates></catalogue>";
}

}  // namespace zvu::test
