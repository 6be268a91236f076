// Installations the service runs itself: fetched from the fixture server
// into the service's folders, checked against the sha256, run, cleaned up.
// The test runs as the Wine user, not as local system: the folders' checks
// trust the account the process runs as, which on Windows is local system.

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "ansi_text.h"
#include "installer_digest.h"
#include "installer_test_support.h"
#include "log_capture.h"
#include "service_folders.h"
#include "service_install_job.h"
#include "temp_files.h"
#include "test_env.h"
#include "unique_handle.h"

namespace {

using zvu::ServiceInstallOutcome;
using zvu::UpdateEntry;

const std::string kHost = ZVU_TEST_UPDATE_HOST;

// Records what an installation reports; abandons when told to.
class RecordingProgress : public zvu::ServiceInstallProgress {
 public:
  void Received(uint64_t bytes, uint64_t total) override {
    lastBytes = bytes;
    lastTotal = total;
    ++receivedCalls;
  }
  void Installing() override { ++installingCalls; }
  bool Abandoned() override { return abandonWhen && abandonWhen(*this); }

  uint64_t lastBytes = 0;
  uint64_t lastTotal = 0;
  int receivedCalls = 0;
  int installingCalls = 0;
  std::function<bool(const RecordingProgress&)> abandonWhen;
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> FileNames(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

class ServiceInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = zvu::test::FreshTempFolder("zvu_service_install_root");
    settings_.root = zvu::Widen(root_);
    settings_.installLimitMs = 60000;
  }
  void TearDown() override { zvu::test::DeleteTree(root_); }

  std::string Product() const { return root_ + "\\Zelko\\VuroUpdate"; }
  std::string Downloads() const { return Product() + "\\Downloads"; }
  std::string Logs() const { return Product() + "\\Logs"; }

  // Serves the fake setup program as files/<name> and returns an update for it
  // whose sha256 is that of the served bytes.
  UpdateEntry ServedSetup(const std::string& name, const std::string& servedName = {}) {
    const std::string bytes = zvu::test::ReadWholeFile(zvu::test::InstallersDir() + "\\fake_setup.exe");
    EXPECT_FALSE(bytes.empty());
    EXPECT_TRUE(zvu::test::WriteFixtureFile("files/" + name, bytes));
    std::string digest;
    const std::string source = zvu::test::InstallersDir() + "\\fake_setup.exe";
    EXPECT_TRUE(zvu::ComputeFileSha256(source, digest));
    UpdateEntry entry;
    entry.name = "Alpha";
    entry.version = {1, 1, 0, 0};
    entry.url = "http://" + kHost + "/files/" + (servedName.empty() ? name : servedName);
    entry.sha256 = digest;
    servedSize_ = bytes.size();
    return entry;
  }

  ServiceInstallOutcome Run(const UpdateEntry& entry) {
    return zvu::InstallVerifiedUpdate(entry, progress_, settings_);
  }

  bool Ran(const std::string& name) const {
    return zvu::test::FileExists(Downloads() + "\\" + name + ".cmdline");
  }

  std::string root_;
  zvu::ServiceInstallSettings settings_;
  RecordingProgress progress_;
  size_t servedSize_ = 0;
};

TEST_F(ServiceInstall, VerifiedSetupRunsFromTheServiceFolderAndItsCopyIsDeleted) {
  zvu::test::LogCapture log("zvu_service_install_ok.log");
  UpdateEntry entry = ServedSetup("zvu-svc-ok.exe");
  entry.sha256 = Upper(entry.sha256);  // the catalogue may write either case

  EXPECT_EQ(Run(entry), ServiceInstallOutcome::kInstalled) << log.Text();

  // It ran from the service's own folder with the silent command line, and
  // its copy is gone; what the run wrote beside it is the fixture's own.
  ASSERT_TRUE(Ran("zvu-svc-ok.exe")) << log.Text();
  const std::string line = zvu::test::ReadWholeFile(Downloads() + "\\zvu-svc-ok.exe.cmdline");
  EXPECT_NE(Lower(line).find(Lower(Downloads() + "\\zvu-svc-ok.exe")), std::string::npos) << line;
  EXPECT_NE(line.find(" /s /sms /v\"/qn /norestart /log "), std::string::npos) << line;
  EXPECT_FALSE(zvu::test::FileExists(Downloads() + "\\zvu-svc-ok.exe"));

  // Its log stays in the log folder, under the run's time and the file's name.
  const auto logs = FileNames(Logs());
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_NE(logs[0].find("-zvu-svc-ok.exe.log"), std::string::npos) << logs[0];

  EXPECT_EQ(progress_.lastBytes, servedSize_);
  EXPECT_EQ(progress_.lastTotal, servedSize_);
  EXPECT_EQ(progress_.installingCalls, 1);
  EXPECT_EQ(log.Count("Service install of Alpha 1.1.0.0 from http://"), 1u) << log.Text();
  // The record names the log by its long path, not the short one msiexec is given.
  EXPECT_EQ(log.Count("Service install of Alpha 1.1.0.0 succeeded, log " + Logs() + "\\" +
                      logs[0] + " "),
            1u)
      << log.Text();
}

TEST_F(ServiceInstall, SetupThatReportsFailureIsAFailedInstall) {
  zvu::test::LogCapture log("zvu_service_install_fail.log");
  const UpdateEntry entry = ServedSetup("zvu-svc-fail.exe");
  EXPECT_EQ(Run(entry), ServiceInstallOutcome::kInstallFailed);
  EXPECT_TRUE(Ran("zvu-svc-fail.exe"));
  EXPECT_FALSE(zvu::test::FileExists(Downloads() + "\\zvu-svc-fail.exe"));
  EXPECT_EQ(log.Count("Service install of Alpha 1.1.0.0 failed, log "), 1u) << log.Text();
}

TEST_F(ServiceInstall, InstallerStillRunningAtTheLimitIsStoppedAndFails) {
  zvu::test::LogCapture log("zvu_service_install_hang.log");
  const UpdateEntry entry = ServedSetup("zvu-svc-hang.exe");
  settings_.installLimitMs = 2000;
  EXPECT_EQ(Run(entry), ServiceInstallOutcome::kInstallFailed);
  EXPECT_TRUE(Ran("zvu-svc-hang.exe"));
  EXPECT_EQ(log.Count("did not end within 2 s and was stopped"), 1u) << log.Text();
  EXPECT_FALSE(zvu::test::FileExists(Downloads() + "\\zvu-svc-hang.exe"));
}

TEST_F(ServiceInstall, BytesThatDifferFromTheDigestAreDeletedAndNeverRun) {
  zvu::test::LogCapture log("zvu_service_install_digest.log");
  UpdateEntry entry = ServedSetup("zvu-svc-digest.exe");
  entry.sha256 = std::string(64, 'a');
  EXPECT_EQ(Run(entry), ServiceInstallOutcome::kDigestMismatch);
  EXPECT_FALSE(Ran("zvu-svc-digest.exe"));
  EXPECT_FALSE(zvu::test::FileExists(Downloads() + "\\zvu-svc-digest.exe"));
  EXPECT_EQ(progress_.installingCalls, 0);
  EXPECT_EQ(log.Count("Installer of Alpha rejected: expected sha256 " + std::string(64, 'a') +
                      ", computed "),
            1u)
      << log.Text();
  EXPECT_EQ(log.Count("; file deleted, not run"), 1u);

  // A listed value that is no sha256 at all is no match either.
  entry.sha256 = "not-a-digest";
  EXPECT_EQ(Run(entry), ServiceInstallOutcome::kDigestMismatch);
  EXPECT_FALSE(Ran("zvu-svc-digest.exe"));
}

TEST_F(ServiceInstall, UpdateWithoutADigestIsNotEvenFetched) {
  zvu::test::LogCapture log("zvu_service_install_nodigest.log");
  UpdateEntry entry = ServedSetup("zvu-svc-nodigest.exe");
  entry.sha256.clear();
  const size_t requests = zvu::test::ServedRequestCount();
  EXPECT_EQ(Run(entry), ServiceInstallOutcome::kDigestMismatch);
  EXPECT_EQ(zvu::test::ServedRequestCount(), requests);
  EXPECT_EQ(log.Count("refused: the catalogue lists no sha256"), 1u) << log.Text();
}

TEST_F(ServiceInstall, FailedDownloadRunsNothingAndLeavesNoFile) {
  zvu::test::LogCapture log("zvu_service_install_404.log");
  UpdateEntry entry = ServedSetup("zvu-svc-404.exe");
  entry.url = "http://" + kHost + "/fault/404/zvu-svc-404.exe";
  EXPECT_EQ(Run(entry), ServiceInstallOutcome::kDownloadFailed);
  EXPECT_TRUE(FileNames(Downloads()).empty());
  EXPECT_EQ(log.Count("Service install of Alpha 1.1.0.0: download failed, state 2"), 1u)
      << log.Text();

  // A download cut short fails the same way.
  entry.url = "http://" + kHost + "/fault/cut/zvu-svc-404.exe";
  EXPECT_EQ(Run(entry), ServiceInstallOutcome::kDownloadFailed);
  EXPECT_TRUE(FileNames(Downloads()).empty());
}

TEST_F(ServiceInstall, AbandonedRequestStartsNothing) {
  zvu::test::LogCapture log("zvu_service_install_abandon.log");
  const UpdateEntry entry = ServedSetup("zvu-svc-abandon.exe");

  // Gone before anything happened: nothing is fetched.
  progress_.abandonWhen = [](const RecordingProgress&) { return true; };
  const size_t requests = zvu::test::ServedRequestCount();
  EXPECT_EQ(Run(entry), ServiceInstallOutcome::kAbandoned);
  EXPECT_EQ(zvu::test::ServedRequestCount(), requests);

  // Gone during a slow download: it stops, and the part received is deleted.
  UpdateEntry slow = entry;
  slow.url = "http://" + kHost + "/fault/drip/zvu-svc-abandon.exe";
  progress_.abandonWhen = [](const RecordingProgress& p) { return p.lastBytes > 0; };
  EXPECT_EQ(Run(slow), ServiceInstallOutcome::kAbandoned);
  EXPECT_LT(progress_.lastBytes, servedSize_);

  // Gone once the whole file has arrived: it is not started.
  progress_.abandonWhen = [this](const RecordingProgress& p) {
    return p.lastBytes == servedSize_;
  };
  EXPECT_EQ(Run(entry), ServiceInstallOutcome::kAbandoned);

  EXPECT_FALSE(Ran("zvu-svc-abandon.exe"));
  EXPECT_EQ(progress_.installingCalls, 0);
  EXPECT_TRUE(FileNames(Downloads()).empty());
  EXPECT_EQ(log.Count("abandoned by its requester before the start"), 3u) << log.Text();
}

TEST_F(ServiceInstall, OnlyTheNewestLogsAreKept) {
  zvu::test::LogCapture log("zvu_service_install_logs.log");
  zvu::TrustedFolder logs;
  ASSERT_TRUE(logs.Open(settings_.root, zvu::kServiceLogsFolder)) << log.Text();
  // Older runs' logs, each a day older than the one before.
  for (int i = 0; i < 25; ++i) {
    const std::string path = Logs() + "\\old-" + std::to_string(i) + ".log";
    ASSERT_TRUE(zvu::test::WriteBytes(path, "old"));
    zvu::UniqueFileHandle file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    ULARGE_INTEGER time{};
    time.QuadPart = 130000000000000000ull - static_cast<unsigned long long>(i) * 864000000000ull;
    const FILETIME written{time.LowPart, time.HighPart};
    ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &written));
  }
  ASSERT_TRUE(zvu::test::WriteBytes(Logs() + "\\notes.txt", "not a log"));
  // Its short name ends in .LOG, its name does not.
  ASSERT_TRUE(zvu::test::WriteBytes(Logs() + "\\notes.logbook", "not a log either"));

  const UpdateEntry entry = ServedSetup("zvu-svc-logs.exe");
  EXPECT_EQ(Run(entry), ServiceInstallOutcome::kInstalled) << log.Text();

  const auto names = FileNames(Logs());
  EXPECT_EQ(names.size(), 22u);  // 20 logs and the other files
  EXPECT_TRUE(std::any_of(names.begin(), names.end(), [](const std::string& name) {
    return name.find("-zvu-svc-logs.exe.log") != std::string::npos;
  }));
  // The six oldest went: old-19 .. old-24.
  for (int i = 0; i < 25; ++i) {
    const bool kept = zvu::test::FileExists(Logs() + "\\old-" + std::to_string(i) + ".log");
    EXPECT_EQ(kept, i < 19) << i;
  }
  EXPECT_TRUE(zvu::test::FileExists(Logs() + "\\notes.txt"));
  EXPECT_TRUE(zvu::test::FileExists(Logs() + "\\notes.logbook"));
}

}  // namespace
