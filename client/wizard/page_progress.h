#pragma once

#include <cstdint>
#include <string>

#include "http_client.h"
#include "installer_runner.h"
#include "installer_wait_callback.h"
#include "install_road.h"
#include "service_install_client.h"
#include "update_catalogue.h"
#include "wizard_page.h"

namespace zvu {

// Page 3: downloads the chosen updates one at a time into the wizard's
// download folder and runs each installer silently, recording the outcome
// in the update's flags for the finish page.
//
// Progress notifications arrive for every 8192 bytes read; the page keeps
// them cheap: it formats nothing and allocates nothing per notification,
// changes the bar only when its percentage changes, and redraws the status
// line at most every kStatusIntervalMs (a timer catches up with the last
// figures).
//
// Cancel during a download stops it and leads to the finish page, which then
// reports what was done. While an installer runs, Cancel is disabled and
// every cancel request is refused.
//
// A client without administrator rights hands a verified update (one with a
// sha256) to the service while the service runs: the page then shows the
// service's download and installation with the same bars and texts, and
// records its outcome in the same flags.
class XPageProgress : public WizardPage,
                      public InstallerWaitCallback,
                      private ServiceInstallCallbacks {
 public:
  static constexpr COLORREF kBarColour = RGB(153, 204, 100);
  static constexpr int kInstallBarMaximum = 400;
  static constexpr int kInstallCreepTarget = 380;
  static constexpr DWORD kStatusIntervalMs = 40;

  explicit XPageProgress(XUpdateWizard& wizard);

  // Finds the next chosen update and starts its download; with none left,
  // moves on to the finish page. A download that cannot even be started
  // counts as a failed one.
  void StartNextDownload();
  // Runs the downloaded installer of the current update (once) and goes on
  // with the next update. heldInstaller is the installer as its digest check
  // left it held; the runner lets it go once the installer has started.
  void InstallDownloaded(HeldFile heldInstaller = HeldFile());

  int OnInstallerWait() override;

  // The flags the finish page reads, from how a request to the service
  // ended; installingReported: the service said it started the installer.
  static void RecordServiceOutcome(ServiceInstallStatus status, bool installingReported,
                                   UpdateEntry& update);

  XHttpClient& DownloadClient() { return downloadClient_; }
  InstallerRunner& Runner() { return installerRunner_; }

 protected:
  BOOL OnInitDialog() override;
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT OnSetActive() override;
  LRESULT OnQueryCancel() override;
  void OnReset() override;

 private:
  // The folder this download goes to: the wizard's download folder when the
  // user owns it, else the user's own folder beside it (logged when the
  // folder in use changes); empty when neither may be used.
  std::string ChooseFolder();
  // The road of the current update; a verified one that the service cannot
  // take is logged as going to the user's consent.
  InstallRoad ChooseRoad();
  // Has the service download and install the current update, showing its
  // progress; returns when the service has answered.
  void InstallThroughService();
  void OnReceived(uint64_t bytes, uint64_t total) override;
  void OnInstalling() override;
  bool OnWait() override;
  // Dispatches the thread's waiting messages (bounded) while the page waits
  // for an installer or the service.
  void PumpMessages();
  void ShowFigures(std::uint64_t received, std::uint64_t total, bool immediately);
  void OnHttpNotify();
  void OnDownloadFailed();
  void ShowReceived(bool immediately);
  void SetStatus(const char* text) const;
  void SetDownloadBar(int position);
  void SetInstallBar(int position) const;
  int InstallBar() const;
  void EnableCancel(bool enable) const;

  XHttpClient downloadClient_{WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY};  // the user's proxy settings
  InstallerRunner installerRunner_;
  // Whether this client's token may run installers itself (an elevated
  // one); otherwise installers start with the user's consent.
  bool runsInstallersDirectly_ = true;
  InstallRoad road_ = InstallRoad::Direct;  // of currentUpdate_
  bool serviceInstalling_ = false;  // the service reported the installer's start
  UpdateEntry* currentUpdate_ = nullptr;
  UpdateList::iterator nextRecord_;
  bool downloading_ = false;   // a transfer of currentUpdate_ is under way
  bool installing_ = false;    // inside RunInstaller
  bool cancelled_ = false;
  std::string filePath_;  // the downloaded installer
  std::string folder_;    // the download folder, as given to the runner
  std::string loggedFolderChoice_;  // the folder whose choice was logged last
  // What the status line and the bar show now, so that a notification that
  // changes nothing visible costs nothing.
  int downloadBar_ = -1;
  std::uint64_t shownKb_ = UINT64_MAX;
  std::uint64_t shownTotalKb_ = UINT64_MAX;
  ULONGLONG lastStatusTick_ = 0;
  bool statusTimerPending_ = false;
};

}  // namespace zvu
