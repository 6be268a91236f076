// The download page: chosen updates downloaded and installed one by one,
// failures, the status texts, Cancel, and the finish page's report.
#include <windows.h>
#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "installer_digest.h"
#include "install_road.h"
#include "installer_download.h"
#include "owned_download_folder.h"
#include "page_finish.h"
#include "page_progress.h"
#include "download_progress.h"
#include "service_install_client.h"
#include "log_capture.h"
#include "resource_ids.h"
#include "temp_files.h"
#include "test_env.h"
#include "wait_until.h"
#include "wizard_driver.h"

namespace zvu {
namespace {

using test::WaitUntil;
using test::WizardDriver;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

// Every text the download page puts into its status lines, in order.
std::mutex g_textsLock;
std::vector<std::string> g_statusTexts;
std::vector<std::string> g_installTexts;

LRESULT CALLBACK RecordTexts(int code, WPARAM wParam, LPARAM lParam) {
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == WM_SETTEXT && call->lParam != 0) {
    const int id = GetDlgCtrlID(call->hwnd);
    if (id == IDC_DOWNLOAD_STATUS || id == IDC_INSTALL_STATUS) {
      char className[32] = {};
      GetClassNameA(call->hwnd, className, sizeof(className));
      if (lstrcmpiA(className, "Static") == 0) {
        std::lock_guard<std::mutex> guard(g_textsLock);
        (id == IDC_DOWNLOAD_STATUS ? g_statusTexts : g_installTexts)
            .emplace_back(reinterpret_cast<const char*>(call->lParam));
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::vector<std::string> StatusTexts() {
  std::lock_guard<std::mutex> guard(g_textsLock);
  return g_statusTexts;
}

std::vector<std::string> InstallTexts() {
  std::lock_guard<std::mutex> guard(g_textsLock);
  return g_installTexts;
}

size_t IndexOf(const std::vector<std::string>& texts, const std::string& text) {
  for (size_t i = 0; i < texts.size(); ++i) {
    if (texts[i] == text) return i;
  }
  return texts.size();
}

struct Outcome {
  bool offered, downloaded, installed, installPending;
  bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* out) {
  *out << "{offered " << o.offered << ", downloaded " << o.downloaded << ", installed "
       << o.installed << ", pending " << o.installPending << "}";
}

class DownloadPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      std::lock_guard<std::mutex> guard(g_textsLock);
      g_statusTexts.clear();
      g_installTexts.clear();
    }
    folder_ = test::TempFilePath("zelko updates");  // where the wizard downloads
    test::DeleteTree(folder_);
  }
  void TearDown() override {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    test::DeleteTree(folder_);
  }

  // Opens the wizard on a handed-over catalogue, with the status lines
  // recorded, and changes the choice before the selection page shows it.
  std::unique_ptr<WizardDriver> Open(const std::string& xml,
                                     std::vector<std::string> unchosen = {}) {
    return std::make_unique<WizardDriver>(
        XUpdateWizard::kWelcomePage, [this, xml, unchosen](XUpdateWizard& w) {
          hook_ = SetWindowsHookExA(WH_CALLWNDPROC, RecordTexts, nullptr, GetCurrentThreadId());
          w.OpenOnCatalogue(xml);
          for (UpdateEntry& update : w.Catalogue().ApplicableUpdates()) {
            for (const std::string& name : unchosen) {
              if (update.name == name) update.offered = false;
            }
          }
        });
  }

  // Serves the catalogue as the service finds it when it fetches afresh,
  // opens the wizard on it and goes from the welcome page to the finish page.
  void RunToFinish(const std::string& xml, const test::LogCapture& log,
                   std::unique_ptr<WizardDriver>& wizard) {
    test::ServeCatalogue(xml);
    wizard = Open(xml);
    ASSERT_TRUE(wizard->Started());
    wizard->Press(PSBTN_NEXT);
    ASSERT_TRUE(wizard->WaitForPage(XUpdateWizard::kFinishPage, 120000)) << log.Text();
  }

  std::vector<Outcome> Outcomes(WizardDriver& wizard) {
    std::vector<Outcome> outcomes;
    wizard.Invoke([&](XUpdateWizard& w) {
      for (const UpdateEntry& u : w.Catalogue().ApplicableUpdates()) {
        outcomes.push_back({u.offered, u.downloaded, u.installed, u.installPending});
      }
    });
    return outcomes;
  }

  // The result line after selecting row `index` of the finish page's list.
  std::string ResultLineFor(WizardDriver& wizard, int index) {
    HWND page = wizard.Page(XUpdateWizard::kFinishPage);
    HWND list = GetDlgItem(page, IDC_RESULT_LIST);
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_RESULT_LIST, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    return wizard.Text(XUpdateWizard::kFinishPage, IDC_RESULT_LINE);
  }

  test::InstalledProducts installed_;
  std::string folder_;
  HHOOK hook_ = nullptr;
};

TEST_F(DownloadPageTest, ChosenUpdatesAreDownloadedAndInstalledInListOrder) {
  installed_.Add("Alpha", 1, 0, 0);
  installed_.Add("Beta", 1, 0, 0);
  installed_.Add("Gamma", 1, 0, 0);
  ASSERT_TRUE(test::ServeSetupProgram("alpha-setup.exe"));
  ASSERT_TRUE(test::ServeSetupProgram("beta-setup.exe"));
  ASSERT_TRUE(test::ServeSetupProgram("gamma-setup.exe"));
  const std::string xml = test::CatalogueXml(
      "", test::UpdateXml("Alpha", 1, 1, 0, 0, test::FileUrl("/files/alpha-setup.exe")) +
              test::UpdateXml("Beta", 1, 1, 0, 0, test::FileUrl("/files/beta-setup.exe")) +
              test::UpdateXml("Gamma", 1, 1, 0, 0, test::FileUrl("/files/gamma-setup.exe")));
  ASSERT_FALSE(test::FileExists(folder_));
  auto wizard = Open(xml, {"Beta"});
  ASSERT_TRUE(wizard->Started());
  ASSERT_EQ(wizard->ActivePage(), XUpdateWizard::kSelectionPage);

  wizard->Press(PSBTN_NEXT);
  ASSERT_TRUE(wizard->WaitForPage(XUpdateWizard::kDownloadPage));
  ASSERT_TRUE(wizard->WaitForPage(XUpdateWizard::kFinishPage, 90000));

  EXPECT_THAT(Outcomes(*wizard), ElementsAre(Outcome{true, true, true, false},
                                             Outcome{false, false, false, true},
                                             Outcome{true, true, true, false}));
  // The folder was made by the first download.
  EXPECT_TRUE(test::FileExists(folder_ + "\\alpha-setup.exe"));
  EXPECT_TRUE(test::FileExists(folder_ + "\\gamma-setup.exe"));
  EXPECT_FALSE(test::FileExists(folder_ + "\\beta-setup.exe"));

  const std::vector<std::string> texts = StatusTexts();
  const size_t alphaConnecting = IndexOf(texts, "Downloading Alpha update: connecting ... ");
  const size_t alphaDone = IndexOf(texts, "Downloading Alpha update: complete!");
  const size_t gammaConnecting = IndexOf(texts, "Downloading Gamma update: connecting ... ");
  const size_t gammaDone = IndexOf(texts, "Downloading Gamma update: complete!");
  EXPECT_LT(alphaConnecting, alphaDone);
  EXPECT_LT(alphaDone, gammaConnecting);
  EXPECT_LT(gammaConnecting, gammaDone);
  EXPECT_LT(gammaDone, texts.size());
  bool sawKilobytes = false;
  for (const std::string& text : texts) {
    EXPECT_EQ(text.find("Beta"), std::string::npos) << text;
    if (text.rfind("Downloading Alpha update: ", 0) == 0 && text.find(" Kb of ") != std::string::npos) {
      sawKilobytes = text.back() == ' ';
    }
  }
  EXPECT_TRUE(sawKilobytes) << "a \"... Kb of ... Kb \" line for Alpha";

  EXPECT_THAT(wizard->ResultLines(),
              ElementsAre("Alpha 1.1.0", "Gamma 1.1.0"));
  EXPECT_EQ(ResultLineFor(*wizard, 0), "Downloaded and installed succefully.");
  EXPECT_EQ(ResultLineFor(*wizard, 1), "Downloaded and installed succefully.");
  EXPECT_TRUE(WaitUntil([&] { return wizard->ButtonEnabled(WizardDriver::kFinish); }, 5000));
  wizard->Press(PSBTN_FINISH);
  EXPECT_TRUE(wizard->WaitForEnd());
}

// The catalogue's update entry with a listed SHA-256.
std::string WithDigest(std::string update, const std::string& digest) {
  update.insert(update.rfind("</update>"), "<sha256>" + digest + "</sha256>");
  return update;
}

std::string ServedPath(const std::string& name) {
  return test::FixtureDirWindows() + "\\files\\" + name;
}

TEST_F(DownloadPageTest, AnInstallerThatIsNotTheListedOneNeverRuns) {
  test::LogCapture log("zvu_wizard_digests");
  for (const char* product : {"Alpha", "Beta", "Gamma", "Delta"}) installed_.Add(product, 1, 0, 0);
  for (const char* name : {"alpha-setup.exe", "beta-setup.exe", "gamma-setup.exe", "delta-setup.exe"}) {
    ASSERT_TRUE(test::ServeSetupProgram(name));
  }
  std::string alphaDigest, betaDigest;
  ASSERT_TRUE(ComputeFileSha256(ServedPath("alpha-setup.exe"), alphaDigest));
  ASSERT_TRUE(ComputeFileSha256(ServedPath("beta-setup.exe"), betaDigest));
  std::transform(alphaDigest.begin(), alphaDigest.end(), alphaDigest.begin(),
                 [](char c) { return static_cast<char>(toupper(static_cast<unsigned char>(c))); });
  // Beta's file changes by one byte on the server after its digest was listed.
  std::string beta = test::ReadWholeFile(ServedPath("beta-setup.exe"));
  ASSERT_FALSE(beta.empty());
  beta.back() = static_cast<char>(beta.back() ^ 0x01);
  ASSERT_TRUE(test::WriteBytes(ServedPath("beta-setup.exe"), beta));

  const std::string xml = test::CatalogueXml(
      "", WithDigest(test::UpdateXml("Alpha", 1, 1, 0, 0, test::FileUrl("/files/alpha-setup.exe")),
                     alphaDigest) +
              WithDigest(test::UpdateXml("Beta", 1, 1, 0, 0, test::FileUrl("/files/beta-setup.exe")),
                         betaDigest) +
              WithDigest(test::UpdateXml("Gamma", 1, 1, 0, 0, test::FileUrl("/files/gamma-setup.exe")),
                         "not a digest") +
              test::UpdateXml("Delta", 1, 1, 0, 0, test::FileUrl("/files/delta-setup.exe")));
  auto wizard = Open(xml);
  ASSERT_TRUE(wizard->Started());
  wizard->Press(PSBTN_NEXT);
  ASSERT_TRUE(wizard->WaitForPage(XUpdateWizard::kFinishPage, 90000));

  EXPECT_THAT(Outcomes(*wizard), ElementsAre(Outcome{true, true, true, false},
                                             Outcome{true, false, false, true},
                                             Outcome{true, false, false, true},
                                             Outcome{true, true, true, false}));
  // The setup program records every start of itself beside its own file.
  EXPECT_TRUE(test::FileExists(folder_ + "\\alpha-setup.exe.cmdline"));
  EXPECT_TRUE(test::FileExists(folder_ + "\\delta-setup.exe.cmdline"));
  for (const char* rejected : {"beta-setup.exe", "gamma-setup.exe"}) {
    EXPECT_FALSE(test::FileExists(folder_ + "\\" + rejected + ".cmdline")) << rejected << " ran";
    EXPECT_FALSE(test::FileExists(folder_ + "\\" + rejected)) << rejected << " was kept";
  }
  EXPECT_THAT(StatusTexts(), Contains("Downloading update for Beta: Error!"));
  EXPECT_EQ(ResultLineFor(*wizard, 1), "There was an error during download.");
  EXPECT_EQ(ResultLineFor(*wizard, 2), "There was an error during download.");

  const std::string text = log.Text();
  EXPECT_NE(text.find("Installer of Beta rejected: expected sha256 " + betaDigest + ", computed "),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Installer of Gamma rejected: expected sha256 not a digest, computed "),
            std::string::npos);
  EXPECT_EQ(text.find("Installer of Alpha rejected"), std::string::npos);
  EXPECT_EQ(text.find("Installer of Delta rejected"), std::string::npos);
}

// Something that is not a folder of the user's own stands where the download
// folder belongs: the installers go to the user's own folder beside it, and
// the log says so once.
TEST_F(DownloadPageTest, ADownloadFolderThatIsNotTheUsersOwnIsNotUsed) {
  test::LogCapture log("zvu_wizard_folder");
  installed_.Add("Alpha", 1, 0, 0);
  installed_.Add("Delta", 1, 0, 0);
  ASSERT_TRUE(test::ServeSetupProgram("alpha-setup.exe"));
  ASSERT_TRUE(test::ServeSetupProgram("delta-setup.exe"));
  ASSERT_TRUE(test::WriteBytes(folder_, "not a folder"));
  const std::string own = folder_ + "-" + CurrentUserSid();
  test::DeleteTree(own);

  auto wizard = Open(test::CatalogueXml(
      "", test::UpdateXml("Alpha", 1, 1, 0, 0, test::FileUrl("/files/alpha-setup.exe")) +
              test::UpdateXml("Delta", 1, 1, 0, 0, test::FileUrl("/files/delta-setup.exe"))));
  ASSERT_TRUE(wizard->Started());
  wizard->Press(PSBTN_NEXT);
  ASSERT_TRUE(wizard->WaitForPage(XUpdateWizard::kFinishPage, 90000));

  EXPECT_THAT(Outcomes(*wizard), ElementsAre(Outcome{true, true, true, false},
                                             Outcome{true, true, true, false}));
  EXPECT_TRUE(test::FileExists(own + "\\alpha-setup.exe.cmdline"));
  EXPECT_TRUE(test::FileExists(own + "\\delta-setup.exe.cmdline"));
  EXPECT_EQ(test::ReadWholeFile(folder_), "not a folder");
  const std::string preferred = DownloadFolder();
  EXPECT_EQ(log.Count("Download folder " + preferred + " belongs to another account, " + preferred +
                      "-" + CurrentUserSid() + " is used instead \r\n"),
            1u)
      << log.Text();
  wizard.reset();
  DeleteFileA(folder_.c_str());
  test::DeleteTree(own);
}

// A client with a limited token (an administrator's on a user-account-control
// desktop) starts installers with the user's consent, verified or not (the
// service's road is not there yet). Runs as client_wizard_limited, with the
// limited token linked to Wine's elevated one; Wine's "runas" starts without
// a prompt. Under the elevated token the page starts installers directly,
// as every other test here shows.
TEST_F(DownloadPageTest, ALimitedClientInstallsWithTheUsersConsent) {
  if (ProcessRunsInstallersDirectly()) GTEST_SKIP() << "runs with the limited token only";
  test::LogCapture log("zvu_wizard_consent");
  installed_.Add("Alpha", 1, 0, 0);
  installed_.Add("Delta", 1, 0, 0);
  ASSERT_TRUE(test::ServeSetupProgram("alpha-setup.exe"));
  ASSERT_TRUE(test::ServeSetupProgram("delta-setup.exe"));
  std::string alphaDigest;
  ASSERT_TRUE(ComputeFileSha256(ServedPath("alpha-setup.exe"), alphaDigest));
  auto wizard = Open(test::CatalogueXml(
      "", WithDigest(test::UpdateXml("Alpha", 1, 1, 0, 0, test::FileUrl("/files/alpha-setup.exe")),
                     alphaDigest) +
              test::UpdateXml("Delta", 1, 1, 0, 0, test::FileUrl("/files/delta-setup.exe"))));
  ASSERT_TRUE(wizard->Started());
  wizard->Press(PSBTN_NEXT);
  ASSERT_TRUE(wizard->WaitForPage(XUpdateWizard::kFinishPage, 90000));

  EXPECT_THAT(Outcomes(*wizard), ElementsAre(Outcome{true, true, true, false},
                                             Outcome{true, true, true, false}));
  for (const char* setup : {"alpha-setup.exe", "delta-setup.exe"}) {
    EXPECT_EQ(log.Count(" The installer " + DownloadFolder() + "\\" + setup +
                        " was started with administrator rights the user consented to\r\n"),
              1u)
        << log.Text();
  }
  EXPECT_EQ(ResultLineFor(*wizard, 0), "Downloaded and installed succefully.");
  // Alpha's digest would have sent it to the service, which does not run here.
  EXPECT_EQ(log.Count("The update service is not running: Alpha is installed with the user's "
                      "consent \r\n"),
            1u)
      << log.Text();
  EXPECT_EQ(log.Count("The update service is not running: Delta"), 0u);
}

// The folder the update service downloads its installers into.
std::string ServiceDownloads() {
  char data[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA("ProgramData", data, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::string(data) + "\\Zelko\\VuroUpdate\\Downloads";
}

// A product's "major.minor.build" in HKLM\Software\Zelko.
std::string InstalledVersion(const std::string& product) {
  DWORD numbers[3] = {};
  const char* names[3] = {"Major", "Minor", "build"};
  for (int i = 0; i < 3; ++i) {
    DWORD size = sizeof numbers[i];
    if (RegGetValueA(HKEY_LOCAL_MACHINE, ("Software\\Zelko\\" + product).c_str(), names[i],
                     RRF_RT_REG_DWORD, nullptr, &numbers[i], &size) != ERROR_SUCCESS) {
      return {};
    }
  }
  return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
         std::to_string(numbers[2]);
}

// A client without administrator rights hands verified updates to the
// running service (tests/client/e2e/service_road_test.sh runs these with the
// real service and the limited token): the installer runs from the service's
// folder as the service's child, and the page shows the service's progress.
// An installer the user placed in their own download folder plays no part.
TEST_F(DownloadPageTest, AVerifiedUpdateOfALimitedClientInstallsThroughTheService) {
  if (ProcessRunsInstallersDirectly()) GTEST_SKIP() << "runs with the limited token only";
  const DWORD service = RunningServiceProcessId();
  if (service == 0) GTEST_SKIP() << "runs with the update service running only";
  test::LogCapture log("zvu_wizard_service_road");
  installed_.Add("Alpha", 1, 0, 0);
  ASSERT_TRUE(test::ServeSetupProgram("alpha-setup.exe"));
  std::string digest;
  ASSERT_TRUE(ComputeFileSha256(ServedPath("alpha-setup.exe"), digest));
  const std::string served = test::ReadWholeFile(ServedPath("alpha-setup.exe"));
  const std::string theirs = ServiceDownloads() + "\\alpha-setup.exe";
  for (const char* suffix : {".cmdline", ".ids", ".parent"}) DeleteFileA((theirs + suffix).c_str());
  // The user's own copy, swapped for other bytes: the service never reads it.
  const std::string users = DownloadFolder() + "\\alpha-setup.exe";
  CreateDirectoryA(DownloadFolder().c_str(), nullptr);
  ASSERT_TRUE(test::WriteBytes(users, "MZ not the listed installer"));

  std::string update = WithDigest(
      test::UpdateXml("Alpha", 1, 1, 0, 0, test::FileUrl("/files/alpha-setup.exe"),
                      static_cast<int>(served.size())),
      digest);
  update.insert(update.rfind("</update>"),
                "<options>/log &lt;log_file_name&gt; /installs Alpha/1.1.0</options>");
  const std::string xml = test::CatalogueXml("", update);
  std::unique_ptr<WizardDriver> wizard;
  ASSERT_NO_FATAL_FAILURE(RunToFinish(xml, log, wizard));

  EXPECT_THAT(Outcomes(*wizard), ElementsAre(Outcome{true, true, true, false}));
  EXPECT_EQ(ResultLineFor(*wizard, 0), "Downloaded and installed succefully.");
  EXPECT_EQ(log.Count("Service install of Alpha 1.1.0.0: installed \r\n"), 1u) << log.Text();
  // The service's figures, then its installation, with the client's texts.
  const std::vector<std::string> texts = StatusTexts();
  const size_t whole = IndexOf(
      texts, *DescribeDownloadProgress(HttpState::Reading, served.size(), served.size(), "Alpha")
                  .statusText);
  const size_t complete =
      IndexOf(texts, *DescribeDownloadProgress(HttpState::Complete, 0, 0, "Alpha").statusText);
  EXPECT_LT(whole, complete) << ::testing::PrintToString(texts);
  EXPECT_LT(complete, texts.size());
  EXPECT_THAT(InstallTexts(), Contains("Install progress:"));

  // It ran from the service's folder, started by the service itself.
  EXPECT_EQ(test::ReadWholeFile(theirs + ".parent"), std::to_string(service) + " ZelkoVuroUpdate.exe");
  EXPECT_NE(test::ReadWholeFile(theirs + ".cmdline").find(theirs), std::string::npos);
  EXPECT_FALSE(test::FileExists(theirs)) << "the service deletes its copy";
  EXPECT_EQ(InstalledVersion("Alpha"), "1.1.0");
  EXPECT_EQ(test::ReadWholeFile(users), "MZ not the listed installer");
  EXPECT_FALSE(test::FileExists(users + ".cmdline")) << "the user's file never ran";
  DeleteFileA(users.c_str());
}

// A download whose bytes differ from the listed digest: the service runs
// nothing, and the finish page reports a failed download.
TEST_F(DownloadPageTest, TheServiceRunsNothingWhoseDigestDiffers) {
  if (ProcessRunsInstallersDirectly()) GTEST_SKIP() << "runs with the limited token only";
  if (RunningServiceProcessId() == 0) GTEST_SKIP() << "runs with the update service running only";
  test::LogCapture log("zvu_wizard_service_digest");
  installed_.Add("Beta", 1, 0, 0);
  ASSERT_TRUE(test::ServeSetupProgram("beta-setup.exe"));
  const std::string theirs = ServiceDownloads() + "\\beta-setup.exe";
  DeleteFileA((theirs + ".cmdline").c_str());
  // The sha256 of "abc": not the bytes the server sends.
  const std::string xml = test::CatalogueXml(
      "", WithDigest(test::UpdateXml("Beta", 1, 1, 0, 0, test::FileUrl("/files/beta-setup.exe")),
                     "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
  std::unique_ptr<WizardDriver> wizard;
  ASSERT_NO_FATAL_FAILURE(RunToFinish(xml, log, wizard));

  EXPECT_THAT(Outcomes(*wizard), ElementsAre(Outcome{true, false, false, true}));
  EXPECT_EQ(ResultLineFor(*wizard, 0), "There was an error during download.");
  EXPECT_EQ(log.Count("Service install of Beta 1.1.0.0: digest mismatch \r\n"), 1u) << log.Text();
  EXPECT_FALSE(test::FileExists(theirs + ".cmdline")) << "nothing ran";
  EXPECT_FALSE(test::FileExists(theirs)) << "the service deletes what it rejected";
  EXPECT_EQ(InstalledVersion("Beta"), "1.0.0");
}

// What the finish page says after a request to the service: the service's
// failures before the installer's start read as a failed download, after it
// as a failed installation.
TEST(ServiceOutcome, ReadsOnTheFinishPageAsTheClientsOwnOutcomes) {
  using S = ServiceInstallStatus;
  const std::string downloadFailed = "There was an error during download.";
  const std::string installFailed = "There was an error during installation.";
  const struct {
    S status;
    bool installingReported;
    std::string line;
  } cases[] = {
      {S::kInstalled, true, "Downloaded and installed succefully."},
      {S::kInstallFailed, true, installFailed},
      {S::kInstallFailed, false, installFailed},  // the installer could not start
      {S::kConnectionLost, true, installFailed},
      {S::kGivenUp, true, installFailed},
      {S::kDownloadFailed, false, downloadFailed},
      {S::kDigestMismatch, false, downloadFailed},
      {S::kNotListed, false, downloadFailed},
      {S::kNoDigest, false, downloadFailed},
      {S::kNotApplicable, false, downloadFailed},
      {S::kNotAllowed, false, downloadFailed},
      {S::kBusy, false, downloadFailed},
      {S::kServiceError, false, downloadFailed},
      {S::kNoService, false, downloadFailed},
      {S::kNotTheService, false, downloadFailed},
      {S::kConnectionLost, false, downloadFailed},
      {S::kBadAnswer, false, downloadFailed},
      {S::kGivenUp, false, downloadFailed},
  };
  for (const auto& c : cases) {
    UpdateEntry update;
    XPageProgress::RecordServiceOutcome(c.status, c.installingReported, update);
    EXPECT_EQ(XPageFinish::ResultLine(update), c.line)
        << ServiceInstallStatusText(c.status) << ", installing reported " << c.installingReported;
  }
}

TEST_F(DownloadPageTest, FailuresAreReportedAndTheNextUpdateFollowsAtOnce) {
  installed_.Add("Alpha", 1, 0, 0);
  installed_.Add("Beta", 1, 0, 0);
  installed_.Add("Gamma", 1, 0, 0);
  installed_.Add("Delta", 1, 0, 0);
  ASSERT_TRUE(test::ServeSetupProgram("beta-fail-setup.exe"));
  ASSERT_TRUE(test::ServeSetupProgram("delta-setup.exe"));
  const std::string xml = test::CatalogueXml(
      "", test::UpdateXml("Alpha", 1, 1, 0, 0, test::FileUrl("/files/no-such-file.exe")) +
              test::UpdateXml("Gamma", 1, 1, 0, 0, "no url at all") +
              test::UpdateXml("Beta", 1, 1, 0, 0, test::FileUrl("/files/beta-fail-setup.exe")) +
              test::UpdateXml("Delta", 1, 1, 0, 0, test::FileUrl("/files/delta-setup.exe")));
  auto wizard = Open(xml);
  ASSERT_TRUE(wizard->Started());
  wizard->Press(PSBTN_NEXT);
  ASSERT_TRUE(wizard->WaitForPage(XUpdateWizard::kFinishPage, 90000));

  EXPECT_THAT(Outcomes(*wizard), ElementsAre(Outcome{true, false, false, true},
                                             Outcome{true, false, false, true},
                                             Outcome{true, true, false, false},
                                             Outcome{true, true, true, false}));
  const std::vector<std::string> texts = StatusTexts();
  const size_t alphaFailed = IndexOf(texts, "Downloading update for Alpha: Error!");
  const size_t gammaFailed = IndexOf(texts, "Downloading update for Gamma: Error!");
  const size_t betaConnecting = IndexOf(texts, "Downloading Beta update: connecting ... ");
  ASSERT_LT(alphaFailed, texts.size());
  // The next download starts straight after a failure.
  EXPECT_LT(alphaFailed, gammaFailed);
  EXPECT_EQ(betaConnecting, gammaFailed + 1);
  EXPECT_THAT(InstallTexts(), Contains("Error while installing Beta"));
  EXPECT_THAT(InstallTexts(), Not(Contains("Error while installing Delta")));

  EXPECT_EQ(ResultLineFor(*wizard, 0), "There was an error during download.");
  EXPECT_EQ(ResultLineFor(*wizard, 1), "There was an error during download.");
  EXPECT_EQ(ResultLineFor(*wizard, 2), "There was an error during installation.");
  EXPECT_EQ(ResultLineFor(*wizard, 3), "Downloaded and installed succefully.");
}

// Neither an empty file (an error page is not stored) nor the part of a cut
// download is left in the download folder.
TEST_F(DownloadPageTest, AFailedOrCutDownloadLeavesNoFileBehind) {
  installed_.Add("Alpha", 1, 0, 0);
  installed_.Add("Beta", 1, 0, 0);
  ASSERT_TRUE(test::WriteFixtureFile("files/beta-cut-setup.exe", std::string(100000, 'b')));
  const std::string xml = test::CatalogueXml(
      "", test::UpdateXml("Alpha", 1, 1, 0, 0, test::FileUrl("/files/alpha-missing.exe")) +
              test::UpdateXml("Beta", 1, 1, 0, 0, test::FileUrl("/fault/cut/beta-cut-setup.exe")));
  auto wizard = Open(xml);
  ASSERT_TRUE(wizard->Started());
  wizard->Press(PSBTN_NEXT);
  ASSERT_TRUE(wizard->WaitForPage(XUpdateWizard::kFinishPage, 60000));
  EXPECT_EQ(ResultLineFor(*wizard, 0), "There was an error during download.");
  EXPECT_EQ(ResultLineFor(*wizard, 1), "There was an error during download.");
  EXPECT_FALSE(test::FileExists(folder_ + "\\alpha-missing.exe"));
  EXPECT_FALSE(test::FileExists(folder_ + "\\beta-cut-setup.exe"));
}

TEST_F(DownloadPageTest, UrlsThatCannotStartADownloadAreLoggedAndNothingIsInstalled) {
  test::LogCapture log("zvu_wizard_bad_urls");
  installed_.Add("Alpha", 1, 0, 0);
  installed_.Add("Beta", 1, 0, 0);
  installed_.Add("Gamma", 1, 0, 0);
  installed_.Add("Delta", 1, 0, 0);
  ASSERT_TRUE(test::ServeSetupProgram("delta-setup.exe"));
  const std::string host = ZVU_TEST_UPDATE_HOST;
  // No host; a port out of range; a line end that would forge a log record
  // (the document keeps it as &#13;&#10;); a file name of 5000 characters.
  const std::string xml = test::CatalogueXml(
      "", test::UpdateXml("Alpha", 1, 1, 0, 0, "http:///files/alpha.exe") +
              test::UpdateXml("Beta", 1, 1, 0, 0, "http://" + host + ":99999/files/beta.exe") +
              test::UpdateXml("Gamma", 1, 1, 0, 0,
                              "http://" + host + "/files/g.exe&#13;&#10;Download of Forged") +
              test::UpdateXml("Delta", 1, 1, 0, 0,
                              "http://" + host + "/files/" + std::string(5000, 'd') + ".exe"));
  auto wizard = Open(xml);
  ASSERT_TRUE(wizard->Started());
  wizard->Press(PSBTN_NEXT);
  ASSERT_TRUE(wizard->WaitForPage(XUpdateWizard::kFinishPage, 60000));

  const Outcome failed{true, false, false, true};
  EXPECT_THAT(Outcomes(*wizard), ElementsAre(failed, failed, failed, failed));
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(ResultLineFor(*wizard, row), "There was an error during download.") << row;
  }
  const std::string text = log.Text();
  EXPECT_NE(text.find("Download of Alpha update not started: url \"http:///files/alpha.exe\" Err:"),
            std::string::npos) << text;
  EXPECT_NE(text.find("Download of Beta update not started: url \"http://" + host +
                      ":99999/files/beta.exe\" Err:"),
            std::string::npos) << text;
  EXPECT_NE(text.find("Download of Gamma update not started: url \"http://" + host +
                      "/files/g.exe??Download of Forged\" Err:123 \r\n"),
            std::string::npos) << text;
  EXPECT_EQ(text.find("\nDownload of Forged"), std::string::npos) << text;
  // The long url is shown cut, as one record.
  EXPECT_NE(text.find("Download of Delta update not started: url \"http://" + host + "/files/ddd"),
            std::string::npos) << text;
  EXPECT_NE(text.find("ddd...\" Err:123 \r\n"), std::string::npos) << text;
}

TEST_F(DownloadPageTest, CancelDuringADownloadStopsItAndLeadsToTheFinishPage) {
  // The transfer log's record of a request handle's closing, its last report.
  const std::string kRequestClosed = " Closing Connection...\r\n";
  test::LogCapture log("zvu_wizard_cancel_download");
  installed_.Add("Alpha", 1, 0, 0);
  installed_.Add("Beta", 1, 0, 0);
  ASSERT_TRUE(test::WriteFixtureFile("files/slow.bin", std::string(256 * 1024, 'x')));
  ASSERT_TRUE(test::ServeSetupProgram("beta-setup.exe"));
  const std::string xml = test::CatalogueXml(
      "", test::UpdateXml("Alpha", 1, 1, 0, 0, test::FileUrl("/fault/drip/slow.bin")) +
              test::UpdateXml("Beta", 1, 1, 0, 0, test::FileUrl("/files/beta-setup.exe")));
  auto wizard = Open(xml);
  ASSERT_TRUE(wizard->Started());
  wizard->Press(PSBTN_NEXT);
  ASSERT_TRUE(wizard->WaitForPage(XUpdateWizard::kDownloadPage));
  ASSERT_TRUE(WaitUntil([&] {
    for (const std::string& text : StatusTexts()) {
      if (text.rfind("Downloading Alpha update: 8 Kb of 256 Kb ", 0) == 0) return true;
    }
    return false;
  }, 20000)) << "the drip download shows its kilobytes: " << ::testing::PrintToString(StatusTexts());
  EXPECT_TRUE(WaitUntil([&] { return !wizard->ButtonEnabled(WizardDriver::kFinish) &&
                                     !wizard->ButtonEnabled(WizardDriver::kNext); }, 5000));

  const size_t closedBefore = log.Count(kRequestClosed);
  wizard->Press(PSBTN_CANCEL);
  ASSERT_TRUE(wizard->WaitForPage(XUpdateWizard::kFinishPage));
  const size_t textsAtCancel = StatusTexts().size();
  // Once the download's request is closed nothing of it is left to arrive;
  // what had reached the wizard's thread is handled before the Invoke.
  EXPECT_TRUE(WaitUntil([&] { return log.Count(kRequestClosed) > closedBefore; }, 10000));
  wizard->Invoke([](XUpdateWizard&) {});
  EXPECT_EQ(StatusTexts().size(), textsAtCancel) << "the transfer stopped";
  EXPECT_FALSE(test::FileExists(folder_ + "\\slow.bin")) << "the part that arrived is left";
  EXPECT_THAT(Outcomes(*wizard), ElementsAre(Outcome{true, false, false, true},
                                             Outcome{true, false, false, true}));
  EXPECT_THAT(wizard->ResultLines(),
              ElementsAre("Alpha 1.1.0", "Beta 1.1.0"));
  EXPECT_EQ(ResultLineFor(*wizard, 0), "There was an error during download.");
  EXPECT_TRUE(WaitUntil([&] { return wizard->ButtonEnabled(WizardDriver::kFinish); }, 5000));
  wizard->Press(PSBTN_FINISH);
  EXPECT_TRUE(wizard->WaitForEnd());
}

}  // namespace
}  // namespace zvu
