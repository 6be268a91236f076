#include "update_service.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "appid_registry.h"
#include "fake_update_work.h"
#include "service_texts.h"
#include "temp_files.h"
#include "test_env.h"
#include "wait_until.h"

namespace {

using Clock = std::chrono::steady_clock;
using zvu::UpdateService;
using zvu::test::FakeUpdateWork;

// Runs the service body on its own thread, as the control manager's thread would.
class RunningService {
 public:
  explicit RunningService(UpdateService& service)
      : thread_([&service, this] { result_ = service.Run(); }) {}
  ~RunningService() {
    if (thread_.joinable()) thread_.join();
  }
  HRESULT Join() {
    thread_.join();
    return result_;
  }

 private:
  HRESULT result_ = E_UNEXPECTED;
  std::thread thread_;
};

class Signal {
 public:
  Signal() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Signal() { CloseHandle(event_); }
  void Set() { SetEvent(event_); }
  bool WaitFor(DWORD ms) { return WaitForSingleObject(event_, ms) == WAIT_OBJECT_0; }

 private:
  HANDLE event_;
};

// The AppID entry without the value that marks the program as a service, so
// that it starts in plain mode; made for the test when the prefix has none.
class PlainModeEntry {
 public:
  PlainModeEntry() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, KeyPath().c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, &key, &disposition_) != ERROR_SUCCESS) {
      return;
    }
    made_ = true;
    marksService_ = RegQueryValueExA(key, zvu::kLocalServiceValue, nullptr, nullptr, nullptr,
                                     nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
  }
  ~PlainModeEntry() {
    if (disposition_ == REG_CREATED_NEW_KEY) RegDeleteKeyA(HKEY_CLASSES_ROOT, KeyPath().c_str());
  }
  PlainModeEntry(const PlainModeEntry&) = delete;
  PlainModeEntry& operator=(const PlainModeEntry&) = delete;
  bool Made() const { return made_; }
  // The prefix has the program registered as a service.
  bool MarksService() const { return marksService_; }

 private:
  static std::string KeyPath() { return std::string("AppID\\") + zvu::kServiceAppId; }
  DWORD disposition_ = 0;
  bool made_ = false;
  bool marksService_ = false;
};

TEST(UpdateService, TakesItsNameFromTheResourcesAndStartsStopped) {
  FakeUpdateWork work;
  UpdateService service(work);
  EXPECT_EQ(service.Name(), "ZelkoVuroUpdate");
  EXPECT_EQ(service.CurrentState(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_TRUE(service.ServiceMode());
}

// Reports go to the event log, which Wine does not keep; in plain mode they
// are printed as well, and seen there.
TEST(UpdateService, ControlsOtherThanStopChangeNothingAndUnknownOnesAreReported) {
  PlainModeEntry entry;
  ASSERT_TRUE(entry.Made());
  if (entry.MarksService()) GTEST_SKIP() << "the prefix has the service registered";
  FakeUpdateWork work;
  UpdateService service(work);
  service.HandleControl(SERVICE_CONTROL_STOP);  // plain mode: the loop ends at once
  ASSERT_EQ(service.Start(), 0);
  ASSERT_FALSE(service.ServiceMode());

  testing::internal::CaptureStdout();
  for (DWORD control : {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE,
                        SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_SHUTDOWN}) {
    service.HandleControl(control);
  }
  const std::string known = testing::internal::GetCapturedStdout();
  testing::internal::CaptureStdout();
  for (DWORD control : {0u, 6u, 128u, 255u, 0xFFFFFFFFu}) service.HandleControl(control);
  const std::string unknown = testing::internal::GetCapturedStdout();

  EXPECT_EQ(known, "");
  // One event a minute; the others are counted (see the next test).
  EXPECT_EQ(unknown, "Bad service request\n");
  EXPECT_EQ(service.CurrentState(), static_cast<DWORD>(SERVICE_STOPPED));
}

// Local users may send the user-defined control codes: a burst of them
// writes one event, and at the stop one more that counts the rest, which the
// log keeps as well.
TEST(UpdateService, ABurstOfUserDefinedControlsWritesTwoEventsAndALogRecord) {
  PlainModeEntry entry;
  ASSERT_TRUE(entry.Made());
  if (entry.MarksService()) GTEST_SKIP() << "the prefix has the service registered";
  DeleteFileA(zvu::kServiceLogPath);
  FakeUpdateWork work;
  UpdateService service(work);
  service.HandleControl(SERVICE_CONTROL_STOP);  // plain mode: the loop ends at once
  ASSERT_EQ(service.Start(), 0);
  testing::internal::CaptureStdout();
  for (int i = 0; i < 1000; ++i) service.HandleControl(128 + i % 128);
  // The next run's end is a stop like the first: the count is reported there.
  const int exitCode = service.Start();
  const std::string printed = testing::internal::GetCapturedStdout();

  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(printed, "Bad service request\n"
                     "Bad service requests not reported since the last one: 999\n");
  EXPECT_EQ(zvu::test::ReadWholeFile(zvu::kServiceLogPath),
            "Bad service requests not reported since the last one: 999 \r\n");
}

UINT_PTR FailingTimer(UINT) {
  SetLastError(ERROR_NOT_ENOUGH_QUOTA);
  return 0;
}

// Without its timer the service would run for ever without a check: it
// reports why and ends with the error instead, before any pipe is offered.
TEST(UpdateService, ATimerThatCannotBeMadeEndsTheServiceWithItsError) {
  PlainModeEntry entry;
  ASSERT_TRUE(entry.Made());
  if (entry.MarksService()) GTEST_SKIP() << "the prefix has the service registered";
  FakeUpdateWork work;
  UpdateService service(work, &FailingTimer);
  testing::internal::CaptureStdout();
  const auto started = Clock::now();
  const int exitCode = service.Start();
  const auto took = Clock::now() - started;
  const std::string printed = testing::internal::GetCapturedStdout();

  EXPECT_EQ(exitCode, static_cast<int>(HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_QUOTA)));
  EXPECT_LT(took, std::chrono::seconds(30)) << "the loop must not run";
  EXPECT_EQ(printed, "Update timer not created Err:1816, the service stops\n");
  EXPECT_EQ(work.registrationStarts, 0);
  EXPECT_EQ(work.checks, 0);
}

TEST(UpdateService, StopBeforeTheLoopRunsStillEndsIt) {
  FakeUpdateWork work;
  UpdateService service(work);
  service.HandleControl(SERVICE_CONTROL_STOP);
  // Not started yet: the state stays "stopped", but the request is kept.
  EXPECT_EQ(service.CurrentState(), static_cast<DWORD>(SERVICE_STOPPED));
  const auto started = Clock::now();
  RunningService running(service);
  EXPECT_EQ(running.Join(), S_OK);
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(3));
  EXPECT_EQ(work.registrationStarts, 1);
  EXPECT_EQ(work.registrationStops, 1) << "the pipe name must be free once the body has returned";
  EXPECT_EQ(work.checks, 0);
  // A stop that came first is not overwritten by "running".
  EXPECT_EQ(service.CurrentState(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST(UpdateService, FirstTickChecksAndHandsOffAndLogsFromTheStartOfTheLog) {
  const std::string earlierRun = "an earlier run left this text behind, longer than one record\r\n";
  {
    std::ofstream old(zvu::kServiceLogPath, std::ios::binary | std::ios::trunc);
    old << earlierRun;
  }
  FakeUpdateWork work;
  work.checkResults = {S_OK};
  work.sendResults = {S_OK};
  Signal handedOff;
  work.duringSend = [&handedOff](HANDLE) { handedOff.Set(); };
  UpdateService service(work);

  RunningService running(service);
  ASSERT_TRUE(handedOff.WaitFor(15000)) << "no hand-off within 15 s";
  const std::string sent = zvu::texts::kCatalogueSentRecord;
  EXPECT_TRUE(zvu::test::WaitUntil(
      [&] { return zvu::test::ReadWholeFile(zvu::kServiceLogPath).starts_with(sent); }, 5000));
  service.HandleControl(SERVICE_CONTROL_STOP);
  EXPECT_EQ(running.Join(), S_OK);

  EXPECT_EQ(work.checks, 1);
  EXPECT_NE(work.lastStopEvent, nullptr);
  EXPECT_FALSE(service.Cycle().UpdatesPending());
  const std::string record = zvu::texts::kCatalogueSentRecord;
  EXPECT_EQ(zvu::test::ReadWholeFile(zvu::kServiceLogPath),
            record + earlierRun.substr(record.size()));
}

TEST(UpdateService, StopWhileAHandOffWaitsEndsTheLoopPromptly) {
  FakeUpdateWork work;
  work.checkResults = {S_OK};
  Signal sendWaiting;
  work.duringSend = [&sendWaiting](HANDLE stopEvent) {
    sendWaiting.Set();
    WaitForSingleObject(stopEvent, 60000);  // a client that never reads
  };
  UpdateService service(work);

  RunningService running(service);
  ASSERT_TRUE(sendWaiting.WaitFor(15000)) << "no hand-off within 15 s";
  const auto stopped = Clock::now();
  service.HandleControl(SERVICE_CONTROL_STOP);
  EXPECT_EQ(service.CurrentState(), static_cast<DWORD>(SERVICE_STOP_PENDING));
  EXPECT_EQ(running.Join(), S_OK);
  EXPECT_LT(Clock::now() - stopped, std::chrono::seconds(2));
  EXPECT_EQ(work.registrationStops, 1);
  EXPECT_TRUE(service.Cycle().UpdatesPending());
  EXPECT_EQ(service.Cycle().UpdateXml(), "<catalogue/>");
}

// A log file another program holds without sharing: the service runs
// without it, leaves it as it was, and says so where an administrator looks
// next (the event log; the console in plain mode).
TEST(UpdateService, LogHeldByAnotherProgramIsReportedAsAnEvent) {
  PlainModeEntry entry;
  ASSERT_TRUE(entry.Made());
  if (entry.MarksService()) GTEST_SKIP() << "the prefix has the service registered";

  HANDLE held = CreateFileA(zvu::kServiceLogPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  FakeUpdateWork work;
  UpdateService service(work);
  service.HandleControl(SERVICE_CONTROL_STOP);  // plain mode: the loop ends at once
  testing::internal::CaptureStdout();
  const int exitCode = service.Start();
  const std::string printed = testing::internal::GetCapturedStdout();
  CloseHandle(held);

  EXPECT_EQ(exitCode, 0);
  EXPECT_FALSE(service.ServiceMode());
  EXPECT_EQ(printed, std::string("Service log ") + zvu::kServiceLogPath +
                         " not opened Err:32, the service runs without it\n");
}

// A folder at the log's path (anyone may make one in the root of C:): the
// service runs without its log, writes nothing into the folder, and says why.
TEST(UpdateService, AFolderAtTheLogPathIsNotUsedAndTheEventSaysWhy) {
  PlainModeEntry entry;
  ASSERT_TRUE(entry.Made());
  if (entry.MarksService()) GTEST_SKIP() << "the prefix has the service registered";
  DeleteFileA(zvu::kServiceLogPath);
  ASSERT_TRUE(CreateDirectoryA(zvu::kServiceLogPath, nullptr));
  FakeUpdateWork work;
  UpdateService service(work);
  service.HandleControl(SERVICE_CONTROL_STOP);
  testing::internal::CaptureStdout();
  const int exitCode = service.Start();
  service.HandleControl(200);
  const std::string printed = testing::internal::GetCapturedStdout();
  const bool stillFolder =
      (GetFileAttributesA(zvu::kServiceLogPath) & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // Only an empty folder can be removed.
  const bool empty = RemoveDirectoryA(zvu::kServiceLogPath) != FALSE;
  if (!empty) zvu::test::DeleteTree(zvu::kServiceLogPath);

  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(printed, std::string("Service log ") + zvu::kServiceLogPath +
                         " not used: it is a folder, the service runs without it\n"
                         "Bad service request\n");
  EXPECT_TRUE(stillFolder);
  EXPECT_TRUE(empty) << "nothing may be written into the folder";
}

}  // namespace

namespace {

TEST(EventReporter, PrintsMessagesOnlyOutsideServiceMode) {
  zvu::EventReporter reporter("ZelkoVuroUpdate");
  testing::internal::CaptureStdout();
  reporter.Report("Service started");
  reporter.SetPrintToConsole(true);
  reporter.Report("Bad service request");
  reporter.Report("Service stopped");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Bad service request\nService stopped\n");
}

}  // namespace
