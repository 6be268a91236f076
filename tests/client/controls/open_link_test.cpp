// Which addresses the client opens, and the roads it takes to open them:
// the shell's default handler, the registered web-page handler, then
// "iexplore.exe"; the user is told only when all of them fail.
#include "open_link.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "log_capture.h"
#include "recording_link_launcher.h"

namespace zvu {
namespace {

using test::kShellNoHandler;
using test::kShellNotFound;
using test::kShellOpened;
using test::RecordingLinkLauncher;
using ::testing::ElementsAre;

constexpr char kSite[] = "https://www.zelko.example/omega?x=1";
constexpr char kCaption[] = "Vuro Update";

TEST(LinkDecision, OnlyWebAndMailAddressesAreOpened) {
  for (const char* url : {"http://www.zelko.example/omega", "HTTP://X", "https://a.example/b?c=d",
                          "HtTpS://a.example", "mailto:support@zelko.example", "MAILTO:a@b"}) {
    EXPECT_TRUE(IsOpenableLink(url)) << url;
  }
  for (const char* url :
       {"file:///C:/windows/system32/calc.exe", "FILE://host/share/setup.exe", "\\\\host\\share\\x.exe",
        "C:\\x.exe", "x.exe", "javascript:alert(1)", "ftp://a.example/", "httpx://a.example",
        " http://a.example", "http", "http:", "http:calc.exe", "https:/a.example", "mailto", "",
        "shell:startup", "ms-settings:"}) {
    EXPECT_FALSE(IsOpenableLink(url)) << url;
  }
}

TEST(LinkDecision, ARefusedAddressIsLoggedOnOneLineAndNothingIsAsked) {
  test::LogCapture log("zvu_refused_link");
  RecordingLinkLauncher launcher;
  launcher.shellAnswers = {kShellOpened};
  EXPECT_FALSE(OpenLink(nullptr, kCaption, "file:///C:/x.exe\r\nforged record", SW_SHOW, launcher));
  EXPECT_TRUE(launcher.calls.empty());
  EXPECT_EQ(log.Text(),
            "Link not opened: url \"file:///C:/x.exe??forged record\" is no http:, https: or "
            "mailto: address \r\n");
}

TEST(LinkRoads, TheDefaultHandlerGetsTheAddressItselfAndIsEnough) {
  RecordingLinkLauncher launcher;
  launcher.shellAnswers = {kShellOpened};
  HWND owner = GetDesktopWindow();
  EXPECT_TRUE(OpenLink(owner, kCaption, kSite, SW_SHOWNORMAL, launcher));
  ASSERT_EQ(launcher.calls.size(), 1u);
  EXPECT_EQ(launcher.calls[0].what, "shell");
  EXPECT_EQ(launcher.calls[0].file, kSite);
  EXPECT_EQ(launcher.calls[0].parameters, "");
  EXPECT_EQ(launcher.calls[0].owner, owner);
}

TEST(LinkRoads, InternetExplorerOnlyWhenTheDefaultHandlerFails) {
  RecordingLinkLauncher launcher;
  launcher.shellAnswers = {kShellNoHandler, kShellOpened};
  EXPECT_TRUE(OpenLink(nullptr, kCaption, kSite, SW_SHOW, launcher));
  EXPECT_THAT(launcher.ShellFiles(), ElementsAre(kSite, "iexplore.exe"));
  EXPECT_EQ(launcher.calls.back().parameters, std::string("\"") + kSite + "\"");
  EXPECT_EQ(launcher.Count("told"), 0u);
  // Where a web-page handler is registered, its command line was tried in
  // between, with the address quoted; it failed here.
  for (const auto& call : launcher.calls) {
    if (call.what == "command") {
      EXPECT_THAT(call.file, ::testing::EndsWith(std::string(" \"") + kSite + "\""));
    }
  }
}

// A registration of web pages made for one test where the machine has none
// (as in the test prefix), removed again at its end.
class WebPageHandler {
 public:
  explicit WebPageHandler(const char* command) {
    HKEY existing = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ".htm", 0, KEY_READ, &existing) == ERROR_SUCCESS) {
      RegCloseKey(existing);
      return;  // the machine's own stays untouched
    }
    owned_ = true;
    registered_ = Set(".htm", "ZvuTestWebPage") && Set("ZvuTestWebPage\\shell\\open\\command", command);
  }
  ~WebPageHandler() {
    if (!owned_) return;
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "ZvuTestWebPage");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ".htm");
  }
  bool Registered() const { return registered_; }

 private:
  static bool Set(const char* key, const char* value) {
    return RegSetValueA(HKEY_CLASSES_ROOT, key, REG_SZ, value, static_cast<DWORD>(strlen(value))) ==
           ERROR_SUCCESS;
  }
  bool owned_ = false;
  bool registered_ = false;
};

TEST(LinkRoads, TheRegisteredWebPageHandlerOpensItWhenTheShellCannot) {
  const WebPageHandler handler("\"C:\\b\\browser.exe\" -nohome \"%1\"");
  if (!handler.Registered()) GTEST_SKIP() << "the machine registers web pages of its own";
  RecordingLinkLauncher launcher;
  launcher.shellAnswers = {kShellNoHandler, kShellOpened};
  launcher.commandAnswer = 33;
  EXPECT_TRUE(OpenLink(nullptr, kCaption, kSite, SW_SHOW, launcher));
  ASSERT_EQ(launcher.Count("command"), 1u);
  EXPECT_EQ(launcher.calls[1].file, std::string("\"C:\\b\\browser.exe\" -nohome  \"") + kSite + "\"");
  EXPECT_THAT(launcher.ShellFiles(), ElementsAre(kSite)) << "no Internet Explorer";

  // When the handler fails too, Internet Explorer comes next.
  launcher.calls.clear();
  launcher.commandAnswer = ERROR_FILE_NOT_FOUND;
  launcher.shellAnswers = {kShellNoHandler, kShellOpened};
  EXPECT_TRUE(OpenLink(nullptr, kCaption, kSite, SW_SHOW, launcher));
  EXPECT_EQ(launcher.Count("command"), 1u);
  EXPECT_THAT(launcher.ShellFiles(), ElementsAre(kSite, "iexplore.exe"));
}

TEST(LinkRoads, TheUserIsToldOnlyWhenEveryRoadFails) {
  RecordingLinkLauncher launcher;
  launcher.shellAnswers = {kShellNoHandler, kShellNotFound};
  HWND owner = GetDesktopWindow();
  EXPECT_FALSE(OpenLink(owner, kCaption, kSite, SW_SHOW, launcher));
  EXPECT_THAT(launcher.ShellFiles(), ElementsAre(kSite, "iexplore.exe"));
  ASSERT_EQ(launcher.Count("told"), 1u);
  const auto& told = launcher.calls.back();
  EXPECT_EQ(told.what, "told");
  EXPECT_EQ(told.file, "Cannot find Internet Explorer.");
  EXPECT_EQ(told.parameters, kCaption);
  EXPECT_EQ(told.owner, owner);
}

TEST(LinkRoads, AnAddressWithAQuoteGoesToTheShellOnly) {
  RecordingLinkLauncher launcher;
  launcher.shellAnswers = {kShellNoHandler, kShellOpened};
  const std::string quoted = "http://a.example/\" -new-window file:///C:/x.exe";
  EXPECT_FALSE(OpenLink(nullptr, kCaption, quoted, SW_SHOW, launcher));
  EXPECT_THAT(launcher.ShellFiles(), ElementsAre(quoted));
  EXPECT_EQ(launcher.Count("command"), 0u);
  EXPECT_EQ(launcher.Count("told"), 1u);
}

TEST(LinkRoads, AMailAddressTheShellCannotOpenTellsNothingOfInternetExplorer) {
  RecordingLinkLauncher launcher;
  launcher.shellAnswers = {kShellNoHandler, kShellOpened};
  EXPECT_FALSE(OpenLink(nullptr, kCaption, "mailto:support@zelko.example", SW_SHOW, launcher));
  EXPECT_THAT(launcher.ShellFiles(), ElementsAre("mailto:support@zelko.example"));
  EXPECT_EQ(launcher.calls.size(), 1u);
}

TEST(LinkCommand, HandlerIsCutAtItsPlaceholderAndGetsTheAddress) {
  EXPECT_EQ(LinkCommandLine("\"C:\\b\\browser.exe\" -nohome \"%1\" -x", "http://a.example/"),
            "\"C:\\b\\browser.exe\" -nohome  \"http://a.example/\"");
  EXPECT_EQ(LinkCommandLine("browser.exe %1", "http://a.example/a b"),
            "browser.exe  \"http://a.example/a b\"");
  EXPECT_EQ(LinkCommandLine("browser.exe", "http://a.example/"), "browser.exe \"http://a.example/\"");
}

}  // namespace
}  // namespace zvu
