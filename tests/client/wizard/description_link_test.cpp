// Links and text in the selection page's description pane: a link that is
// no web or mail address starts nothing, and catalogue text shows as
// written.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "log_capture.h"
#include "resource_ids.h"
#include "temp_files.h"
#include "wait_until.h"
#include "wizard_driver.h"

namespace zvu {
namespace {

using test::WaitUntil;
using test::WizardDriver;
using ::testing::HasSubstr;

class DescriptionPaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::FreshTempFolder("zvu_linked_program");
    program_ = folder_ + "\\linked_program.exe";
    std::string sleeper = "Z:" ZVU_TEST_SLEEPER;
    for (char& c : sleeper) {
      if (c == '/') c = '\\';
    }
    ASSERT_TRUE(CopyFileA(sleeper.c_str(), program_.c_str(), FALSE));
  }

  void TearDown() override {
    // Should the program have started after all, it ends on this event.
    HANDLE quit = CreateEventA(nullptr, TRUE, FALSE, "zvu-hooks-sleepers-quit");
    if (quit != nullptr) {
      SetEvent(quit);
      CloseHandle(quit);
    }
    test::DeleteTree(folder_);
  }

  // The program as a file: address ("file:///C:/.../linked_program.exe").
  std::string ProgramAddress() const {
    std::string address = "file:///" + program_;
    for (char& c : address) {
      if (c == '\\') c = '/';
    }
    return address;
  }

  // Opens the wizard on a catalogue that offers one product with this
  // description and shows it in the pane.
  std::unique_ptr<WizardDriver> ShowDescription(const std::string& description) {
    const std::string xml = test::CatalogueXml(test::ProductXml("Omega", 1, 0, description), "");
    auto wizard = std::make_unique<WizardDriver>(
        XUpdateWizard::kWelcomePage, [xml](XUpdateWizard& w) { w.OpenOnCatalogue(xml); });
    if (!wizard->Started()) return wizard;
    HWND page = wizard->Page(XUpdateWizard::kSelectionPage);
    HWND tree = GetDlgItem(page, IDC_UPDATE_TREE);
    pane_ = GetDlgItem(page, IDC_DESCRIPTION);
    const auto row = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(row));
    return wizard;
  }

  std::string PaneText() const {
    char text[2048] = {};
    GetWindowTextA(pane_, text, sizeof(text));
    return text;
  }

  std::string folder_;
  std::string program_;
  HWND pane_ = nullptr;
};

TEST_F(DescriptionPaneTest, BackslashesAndBracesShowAsWritten) {
  auto wizard = ShowDescription("Keeps {\\b bold} off, C:\\Tools\\x} and {\\rtf1 y}\\nNext line");
  ASSERT_TRUE(wizard->Started());
  const std::string text = PaneText();
  EXPECT_THAT(text, HasSubstr("Keeps {\\b bold} off, C:\\Tools\\x} and {\\rtf1 y}"));
  EXPECT_THAT(text, HasSubstr("Next line")) << "a brace in the text must not end the document";
  EXPECT_EQ(text.find("\\n"), std::string::npos) << "\\n still starts a paragraph: " << text;
}

TEST_F(DescriptionPaneTest, ClickingAFileLinkToALocalProgramStartsNothing) {
  const std::string address = ProgramAddress();
  test::LogCapture log("zvu_clicked_file_link");
  auto wizard = ShowDescription("Run " + address + " now");
  ASSERT_TRUE(wizard->Started());

  // The pane detects the address as a link; click into its middle.
  FINDTEXTA find{{0, -1}, "file:"};
  const auto start =
      static_cast<LONG>(SendMessageA(pane_, EM_FINDTEXT, FR_DOWN, reinterpret_cast<LPARAM>(&find)));
  ASSERT_GE(start, 0) << PaneText();
  POINTL at{};
  SendMessageA(pane_, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), start + 8);
  RECT box{};
  GetClientRect(pane_, &box);
  ASSERT_TRUE(at.x > 0 && at.x < box.right && at.y >= 0 && at.y < box.bottom);
  wizard->Click(pane_, POINT{at.x, at.y + 4});

  // The refusal is written by the very call that would otherwise have
  // started the program, before it returns: once it is there, the click has
  // been handled, and nothing was asked to run. (Without it, the wait's whole
  // limit gives a started program time to leave its marker.)
  EXPECT_TRUE(WaitUntil([&] { return log.Text().find("Link not opened") != std::string::npos; }))
      << log.Text();
  EXPECT_THAT(log.Text(), HasSubstr("\"" + address + "\""));
  EXPECT_FALSE(test::FileExists(program_ + ".ran")) << "the linked program was started";
}

}  // namespace
}  // namespace zvu
