#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "page_error.h"
#include "page_finish.h"
#include "page_list_updates.h"
#include "page_prep_updates.h"
#include "page_progress.h"
#include "page_welcome.h"
#include "unique_handle.h"
#include "update_catalogue.h"

namespace zvu {

// The update wizard: a Wizard-97 property sheet with six pages that share
// one catalogue, one download folder and the wizard's pictures. One object
// serves one modal run; the next run builds a new one.
class XUpdateWizard {
 public:
  enum PageIndex : int {
    kWelcomePage = 0,
    kSearchPage = 1,
    kSelectionPage = 2,
    kDownloadPage = 3,
    kFinishPage = 4,
    kErrorPage = 5,
  };
  // Values of catalogueError (set by the search page, read by the error page).
  static constexpr LONG kNoCatalogueError = 0;
  static constexpr LONG kCatalogueNotDownloaded = 1;
  static constexpr LONG kCatalogueNotParsed = 2;

  // Icons added to IconImageList, in the order that fixes its pictures 0-5.
  static constexpr std::array<UINT, 6> kIcons = {153, 156, 155, 154, 161, 163};

  XUpdateWizard(const char* caption, HWND parent, int startPage);
  ~XUpdateWizard();
  XUpdateWizard(const XUpdateWizard&) = delete;
  XUpdateWizard& operator=(const XUpdateWizard&) = delete;

  // Runs the sheet modally until Finish or Close.
  INT_PTR DoModal();

  // Before the run: the page to start on. During the run: moves there.
  void SetActivePage(int index);
  // Parses a catalogue handed over by the service into this wizard's
  // catalogue and starts on the selection page, or on the error page when
  // the text does not parse. Returns whether it parsed.
  bool OpenOnCatalogue(const std::string& text);
  // The error page with "Vuro Update was interrupted by user.".
  void ShowInterrupted();
  // Brings the running sheet (and so the wizard) to the front.
  void BringToFront() const;

  // The sheet's window while the wizard runs, else null.
  HWND Handle() const { return m_hWnd; }
  // The index of the sheet's current page, or -1.
  int ActivePageIndex() const;

  UpdateCatalogue& Catalogue() { return catalogue_; }
  const std::string& DownloadFolder() const { return downloadFolder; }
  LONG CatalogueError() const { return catalogueError; }
  void SetCatalogueError(LONG error) { catalogueError = error; }
  // Whether at least one update is chosen for download and installation.
  bool AnyUpdateChosen() const;

  XPageWelcome& WelcomePage() { return welcomePage_; }
  XPagePrepUpdates& SearchPage() { return searchPage_; }
  XPageListUpdates& SelectionPage() { return selectionPage_; }
  XPageProgress& DownloadPage() { return downloadPage_; }
  XPageFinish& FinishPage() { return finishPage_; }
  XPageError& ErrorPage() { return errorPage_; }

  // Called by each page when its window is made: the sheet is its parent.
  void NoteSheet(HWND sheet);

 private:
  // The fields, in the order in which they are built (and the reverse of
  // the order in which they go).
  XPageWelcome welcomePage_;
  XPagePrepUpdates searchPage_;
  XPageListUpdates selectionPage_;
  XPageProgress downloadPage_;
  XPageFinish finishPage_;
  XPageError errorPage_;
  // The user's proxy settings reach the search page's fetch.
  UpdateCatalogue catalogue_{WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY};
  // downloadFolder and catalogueError: names fixed by the product's design.
  std::string downloadFolder;
  LONG catalogueError = kNoCatalogueError;
  std::array<UniqueIcon, kIcons.size()> icons_;

  std::string caption_;
  HWND parent_;
  int startPage_;
  HWND m_hWnd = nullptr;  // name fixed by the product's design
};

}  // namespace zvu
