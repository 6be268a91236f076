#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "update_wizard.h"

namespace zvu::test {

// Runs one XUpdateWizard modally on a GUI thread of its own, as the client
// does, while the test drives it from the test's thread with messages.
// Everything that touches the wizard's objects runs on the GUI thread
// through Invoke.
class WizardDriver {
 public:
  // prepare runs on the GUI thread once the wizard is built, before its run.
  explicit WizardDriver(int startPage,
                        std::function<void(XUpdateWizard&)> prepare = nullptr);
  // Ends a run that is still going (bounded) and joins the GUI thread.
  ~WizardDriver();
  WizardDriver(const WizardDriver&) = delete;
  WizardDriver& operator=(const WizardDriver&) = delete;

  // Whether the sheet came up.
  bool Started() const { return sheet_ != nullptr; }
  HWND Sheet() const { return sheet_; }

  // Runs work on the GUI thread and waits for it.
  void Invoke(const std::function<void(XUpdateWizard&)>& work);

  int ActivePage();
  bool WaitForPage(int index, DWORD limitMs = 15000);
  HWND Page(int index);
  std::string Text(int page, int controlId);
  // The label with id -1 of the error page.
  std::string ErrorExplanation();
  std::vector<std::string> ListLines(int page, int controlId);
  // The finish page's rows, from the update each row shows.
  std::vector<std::string> ResultLines();

  // PSBTN_* through the sheet, as a click would.
  void Press(int button);
  bool ButtonEnabled(int controlId);  // kBack, kNext, kFinish, IDCANCEL
  static constexpr int kBack = 0x3023;
  static constexpr int kNext = 0x3024;
  static constexpr int kFinish = 0x3025;

  // Whether the modal run has returned.
  bool WaitForEnd(DWORD limitMs = 15000);

  // A left click on a point of a window of the GUI thread, with the cursor
  // moved there first (controls read the click's position from the cursor).
  void Click(HWND window, POINT clientPoint);

 private:
  void GuiThread(int startPage, std::function<void(XUpdateWizard&)> prepare);

  HWND helper_ = nullptr;
  DWORD guiThreadId_ = 0;
  XUpdateWizard* wizard_ = nullptr;  // set on the GUI thread before ready_
  HWND sheet_ = nullptr;
  HANDLE ready_ = nullptr;
  HANDLE ended_ = nullptr;
  std::thread thread_;
};

// Product keys below HKLM\Software\Zelko in both registry views, removed
// again by the destructor.
class InstalledProducts {
 public:
  InstalledProducts();
  ~InstalledProducts();
  // view: 0 for the test's own (64-bit) view, KEY_WOW64_32KEY for the view a
  // 32-bit product's installer writes into.
  void Add(const std::string& name, DWORD major, DWORD minor, DWORD build, REGSAM view = 0);
};

// A fresh catalogue on the fixture server; empty text removes it (404).
void ServeCatalogue(const std::string& xml);
// Copies the test setup program to the fixture server's files under name
// (a name holding "fail" makes it report failure).
bool ServeSetupProgram(const std::string& name);
// The address of a served file, as an update's url names it.
std::string FileUrl(const std::string& pathAndQuery);

// One catalogue <update> element.
std::string UpdateXml(const std::string& product, int major, int minor, int build, int subbuild,
                      const std::string& url, int size = 1000,
                      const std::string& description = "");
std::string ProductXml(const std::string& product, int major, int minor,
                       const std::string& description = "");
std::string CatalogueXml(const std::string& products, const std::string& updates);

}  // namespace zvu::test
