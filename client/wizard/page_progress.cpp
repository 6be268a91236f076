#include "page_progress.h"

#include <shlwapi.h>

#include <utility>

#include "download_progress.h"
#include "format_text.h"
#include "installer_digest.h"
#include "install_road.h"
#include "installer_download.h"
#include "owned_download_folder.h"
#include "program_log.h"
#include "resource_ids.h"
#include "shown_url.h"
#include "update_wizard.h"
#include "client_texts.h"

namespace zvu {
namespace {

// Private messages and timers of the page.
constexpr UINT kStartDownloadsMessage = WM_APP + 1;
constexpr UINT_PTR kStatusTimer = 1;
// Messages dispatched in one call of the installer's pump, so that a
// message that keeps coming back cannot hold the runner.
constexpr int kPumpLimit = 500;
constexpr DWORD kInstalledPauseMs = 200;

}  // namespace

XPageProgress::XPageProgress(XUpdateWizard& wizard)
    : WizardPage(wizard, IDD_PAGE_PROGRESS),
      runsInstallersDirectly_(ProcessRunsInstallersDirectly()) {}

BOOL XPageProgress::OnInitDialog() {
  WizardPage::OnInitDialog();
  nextRecord_ = Wizard().Catalogue().ApplicableUpdates().end();
  return TRUE;
}

LRESULT XPageProgress::OnSetActive() {
  SetWizardButtons(PSWIZB_DISABLEDFINISH);
  SendDlgItemMessageA(m_hWnd, IDC_DOWNLOAD_PROGRESS, PBM_SETRANGE32, 0, 100);
  SendDlgItemMessageA(m_hWnd, IDC_INSTALL_PROGRESS, PBM_SETRANGE32, 0, kInstallBarMaximum);
  SendDlgItemMessageA(m_hWnd, IDC_DOWNLOAD_PROGRESS, PBM_SETBARCOLOR, 0, kBarColour);
  SendDlgItemMessageA(m_hWnd, IDC_INSTALL_PROGRESS, PBM_SETBARCOLOR, 0, kBarColour);
  nextRecord_ = Wizard().Catalogue().ApplicableUpdates().begin();
  cancelled_ = false;
  // The first download starts once the sheet has finished showing this page:
  // a page change made from inside the activation would be undone by it.
  PostMessageA(m_hWnd, kStartDownloadsMessage, 0, 0);
  return 0;
}

void XPageProgress::StartNextDownload() {
  UpdateList& updates = Wizard().Catalogue().ApplicableUpdates();
  while (!cancelled_ && m_hWnd != nullptr) {
    currentUpdate_ = nullptr;
    downloading_ = false;
    while (nextRecord_ != updates.end()) {
      UpdateEntry& record = *nextRecord_++;
      if (record.offered) {
        currentUpdate_ = &record;
        break;
      }
    }
    if (currentUpdate_ == nullptr) {
      Wizard().SetActivePage(XUpdateWizard::kFinishPage);
      return;
    }

    SetInstallBar(0);
    road_ = ChooseRoad();
    if (road_ == InstallRoad::Service) {
      InstallThroughService();
      continue;
    }
    folder_ = ChooseFolder();
    filePath_ = folder_;
    shownKb_ = shownTotalKb_ = UINT64_MAX;
    downloading_ = true;
    std::string localFile;
    const DWORD started =
        folder_.empty()
            ? static_cast<DWORD>(ERROR_ACCESS_DENIED)
            : StartInstallerDownload(downloadClient_, m_hWnd, currentUpdate_->url, folder_,
                                     &localFile);
    if (started == 0) {
      filePath_ = localFile;
      return;
    }
    // Nothing will be notified for a download that could not start (no
    // connection, no file): it fails now, and the next one follows.
    downloading_ = false;
    ProgramLog::Printf(client_texts::kDownloadNotStarted, currentUpdate_->name.c_str(),
                       ShownUrl(currentUpdate_->url).c_str(), static_cast<unsigned long>(started));
    const DownloadProgress failed =
        DescribeDownloadProgress(HttpState::Failed, 0, 0, currentUpdate_->name);
    SetStatus(failed.statusText->c_str());
  }
}

InstallRoad XPageProgress::ChooseRoad() {
  const bool verified = !currentUpdate_->sha256.empty();
  if (runsInstallersDirectly_ || !verified) {
    return ChooseInstallRoad(runsInstallersDirectly_, verified, false);
  }
  const bool serviceAvailable = ServiceInstallAvailable();
  if (!serviceAvailable) {
    ProgramLog::Printf(client_texts::kServiceNotRunning, currentUpdate_->name.c_str());
  }
  return ChooseInstallRoad(runsInstallersDirectly_, verified, serviceAvailable);
}

void XPageProgress::InstallThroughService() {
  UpdateEntry& update = *currentUpdate_;
  downloading_ = false;
  serviceInstalling_ = false;
  shownKb_ = shownTotalKb_ = UINT64_MAX;
  SetDownloadBar(5);
  SetStatus(DescribeDownloadProgress(HttpState::Idle, 0, 0, update.name).statusText->c_str());
  const ServiceInstallStatus status = RequestServiceInstall(update.name, update.version, *this);
  RecordServiceOutcome(status, serviceInstalling_, update);
  const bool installingReported = serviceInstalling_;
  serviceInstalling_ = false;
  installing_ = false;
  if (m_hWnd == nullptr) return;  // the wizard was closed meanwhile
  EnableCancel(true);
  if (update.installed) {
    SetInstallBar(1000);  // beyond the maximum: shows full
    Sleep(kInstalledPauseMs);
  } else if (installingReported) {
    SetInstallBar(0);
    SetItemText(IDC_INSTALL_STATUS, FormatText(client_texts::kInstallError, update.name.c_str()).c_str());
  } else {
    SetStatus(DescribeDownloadProgress(HttpState::Failed, 0, 0, update.name).statusText->c_str());
  }
}

void XPageProgress::RecordServiceOutcome(ServiceInstallStatus status, bool installingReported,
                                         UpdateEntry& update) {
  // The finish page knows two failures: the download's, and the
  // installation's. Whatever ends a request before the service started the
  // installer (a refusal, a download or digest that failed, a service that
  // did not answer) leaves the update not downloaded; after the start, any
  // end but success is a failed installation.
  update.downloaded = installingReported || status == ServiceInstallStatus::kInstalled ||
                      status == ServiceInstallStatus::kInstallFailed;
  update.installed = status == ServiceInstallStatus::kInstalled;
  if (update.downloaded) update.installPending = false;
}

void XPageProgress::OnReceived(uint64_t bytes, uint64_t total) {
  if (m_hWnd == nullptr) return;
  // The service sends at most four of these a second.
  ShowFigures(bytes, total, true);
}

void XPageProgress::OnInstalling() {
  serviceInstalling_ = true;
  if (m_hWnd == nullptr) return;
  // From here on nothing can be stopped, as with an installer of the client's.
  installing_ = true;
  EnableCancel(false);
  SetStatus(DescribeDownloadProgress(HttpState::Complete, 0, 0, currentUpdate_->name)
                .statusText->c_str());
  SetDownloadBar(100);
  SetItemText(IDC_INSTALL_STATUS, client_texts::kInstallLabel);
  SetInstallBar(10);
}

bool XPageProgress::OnWait() {
  if (m_hWnd == nullptr) return false;
  if (serviceInstalling_) {
    const int position = InstallBar();
    SetInstallBar(position + (kInstallCreepTarget - position) / 20);
  }
  PumpMessages();
  // Cancel (or the wizard's end) before the installer starts gives the
  // request up: the service then starts nothing.
  return !cancelled_ && m_hWnd != nullptr;
}

std::string XPageProgress::ChooseFolder() {
  const std::string& preferred = Wizard().DownloadFolder();
  const DownloadFolderChoice choice = ChooseDownloadFolder(preferred);
  // A folder used instead is logged once; no folder at all, for every update
  // it stops.
  if (choice.reason != DownloadFolderReason::Preferred &&
      (choice.folder != loggedFolderChoice_ || choice.folder.empty())) {
    const char* record = choice.reason == DownloadFolderReason::PreferredOther
                             ? client_texts::kDownloadFolderOfOther
                         : choice.reason == DownloadFolderReason::PreferredUnknown
                             ? client_texts::kDownloadFolderOwnerUnknown
                             : client_texts::kNoOwnDownloadFolder;
    ProgramLog::Printf(record, preferred.c_str(), choice.privateFolder.c_str());
  }
  loggedFolderChoice_ = choice.folder;
  return choice.folder;
}

void XPageProgress::OnDownloadFailed() {
  downloading_ = false;
  const DownloadProgress failed =
      DescribeDownloadProgress(HttpState::Failed, 0, 0, currentUpdate_->name);
  SetStatus(failed.statusText->c_str());
  StartNextDownload();
}

void XPageProgress::OnHttpNotify() {
  if (!downloading_ || currentUpdate_ == nullptr) return;
  switch (downloadClient_.GetHttpState()) {
    case HttpState::Idle: {
      SetDownloadBar(5);
      const DownloadProgress connecting =
          DescribeDownloadProgress(HttpState::Idle, 0, 0, currentUpdate_->name);
      SetStatus(connecting.statusText->c_str());
      shownKb_ = shownTotalKb_ = UINT64_MAX;
      break;
    }
    case HttpState::Failed:
      OnDownloadFailed();
      break;
    case HttpState::Reading:
    case HttpState::Storing:
      ShowReceived(false);
      break;
    case HttpState::Complete: {
      downloading_ = false;
      downloadClient_.SetHttpState(HttpState::Acknowledged);
      // A file that is not the installer the catalogue describes never runs:
      // it is deleted, and the update counts as not downloaded.
      DigestCheck check = VerifyInstallerDigest(filePath_, currentUpdate_->sha256);
      if (!check.MayRun()) {
        ProgramLog::Write(DigestFailureRecord(currentUpdate_->name, currentUpdate_->sha256, check));
        OnDownloadFailed();
        break;
      }
      const DownloadProgress complete =
          DescribeDownloadProgress(HttpState::Complete, 0, 0, currentUpdate_->name);
      SetStatus(complete.statusText->c_str());
      currentUpdate_->downloaded = true;
      SetDownloadBar(100);
      InstallDownloaded(std::move(check.held));
      break;
    }
    default:
      break;
  }
}

void XPageProgress::ShowReceived(bool immediately) {
  ShowFigures(downloadClient_.ReceivedBytes(), downloadClient_.ContentLength(), immediately);
}

void XPageProgress::ShowFigures(std::uint64_t received, std::uint64_t total, bool immediately) {
  SetDownloadBar(DownloadPercent(received, total));

  const std::uint64_t kb = received >> 10;
  const std::uint64_t totalKb = total >> 10;
  if (kb == shownKb_ && totalKb == shownTotalKb_) return;
  const ULONGLONG now = GetTickCount64();
  if (!immediately && now - lastStatusTick_ < kStatusIntervalMs) {
    // Shown by the timer, with the figures of that moment.
    if (!statusTimerPending_) {
      statusTimerPending_ = SetTimer(m_hWnd, kStatusTimer, kStatusIntervalMs, nullptr) != 0;
    }
    return;
  }
  // The same text as the download's progress while it reads.
  SetStatus(DescribeDownloadProgress(HttpState::Reading, received, total, currentUpdate_->name)
                .statusText->c_str());
  shownKb_ = kb;
  shownTotalKb_ = totalKb;
  lastStatusTick_ = now;
}

void XPageProgress::InstallDownloaded(HeldFile heldInstaller) {
  installing_ = true;
  EnableCancel(false);
  UpdateEntry& update = *currentUpdate_;
  if (update.installPending) {
    update.installPending = false;
    SetItemText(IDC_INSTALL_STATUS, client_texts::kInstallLabel);
    SetInstallBar(10);
    const std::string logName = std::string(PathFindFileNameA(filePath_.c_str())) + ".log";
    // The service's updates never come here: a client without administrator
    // rights asks for the user's consent.
    installerRunner_.UseConsent(road_ != InstallRoad::Direct, Sheet());
    const bool succeeded = installerRunner_.RunInstaller(
        filePath_, folder_, update.options, logName, update.issfile, this, std::move(heldInstaller));
    if (m_hWnd == nullptr) {
      // The wizard was closed while the installer ran.
      installing_ = false;
      if (succeeded) update.installed = true;
      return;
    }
    if (succeeded) {
      update.installed = true;
      SetInstallBar(1000);  // beyond the maximum: shows full
      Sleep(kInstalledPauseMs);
    } else {
      SetInstallBar(0);
      SetItemText(IDC_INSTALL_STATUS,
                  FormatText(client_texts::kInstallError, update.name.c_str()).c_str());
    }
  }
  EnableCancel(true);
  installing_ = false;
  StartNextDownload();
}

int XPageProgress::OnInstallerWait() {
  const int position = InstallBar();
  SetInstallBar(position + (kInstallCreepTarget - position) / 20);
  PumpMessages();
  return 1;
}

void XPageProgress::PumpMessages() {
  MSG message;
  for (int dispatched = 0; dispatched < kPumpLimit &&
                           PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
       ++dispatched) {
    if (message.message == WM_QUIT) {
      // Left for the message loop that has to end.
      PostQuitMessage(0);
      break;
    }
    HWND sheet = Sheet();
    if (sheet == nullptr || !PropSheet_IsDialogMessage(sheet, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

LRESULT XPageProgress::OnQueryCancel() {
  // While an installer runs there is nothing to stop (Cancel is disabled;
  // the sheet's close box still asks).
  if (installing_ || cancelled_) return TRUE;
  cancelled_ = true;
  downloading_ = false;
  downloadClient_.Cancel();
  // The finish page reports what was downloaded and installed until now.
  Wizard().SetActivePage(XUpdateWizard::kFinishPage);
  return TRUE;
}

void XPageProgress::OnReset() { downloadClient_.Cancel(); }

INT_PTR XPageProgress::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
  if (message == HttpClientNotifyMessage() && message != 0) {
    if (reinterpret_cast<XHttpClient*>(wParam) == &downloadClient_) OnHttpNotify();
    SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, 0);
    return TRUE;
  }
  switch (message) {
    case kStartDownloadsMessage:
      StartNextDownload();
      return TRUE;
    case WM_TIMER:
      if (wParam != kStatusTimer) return FALSE;
      KillTimer(m_hWnd, kStatusTimer);
      statusTimerPending_ = false;
      if (downloading_) ShowReceived(true);
      return TRUE;
    case WM_DESTROY:
      KillTimer(m_hWnd, kStatusTimer);
      statusTimerPending_ = false;
      downloading_ = false;
      downloadClient_.Cancel();
      return FALSE;
    default:
      return FALSE;
  }
}

void XPageProgress::SetStatus(const char* text) const { SetItemText(IDC_DOWNLOAD_STATUS, text); }

void XPageProgress::SetDownloadBar(int position) {
  if (position == downloadBar_) return;
  downloadBar_ = position;
  SendDlgItemMessageA(m_hWnd, IDC_DOWNLOAD_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void XPageProgress::SetInstallBar(int position) const {
  SendDlgItemMessageA(m_hWnd, IDC_INSTALL_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int XPageProgress::InstallBar() const {
  return static_cast<int>(SendDlgItemMessageA(m_hWnd, IDC_INSTALL_PROGRESS, PBM_GETPOS, 0, 0));
}

void XPageProgress::EnableCancel(bool enable) const {
  if (HWND sheet = Sheet()) EnableWindow(GetDlgItem(sheet, IDCANCEL), enable ? TRUE : FALSE);
}

}  // namespace zvu
