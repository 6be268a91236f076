#include "update_service.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "appid_registry.h"
#include "fake_update_work.h"
#include "service_texts.h"
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

TEST(UpdateService, TakesItsNameFromTheResourcesAndStartsStopped) {
  FakeUpdateWork work;
  UpdateService service(work);
  EXPECT_EQ(service.Name(), "ZelkoVuroUpdate");
  EXPECT_EQ(service.CurrentState(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_TRUE(service.ServiceMode());
  // Controls other than stop change nothing, unknown ones are only reported.
  for (DWORD control : {2u, 3u, 4u, 5u, 0u, 6u, 128u, 0xFFFFFFFFu}) service.HandleControl(control);
  EXPECT_EQ(service.CurrentState(), static_cast<DWORD>(SERVICE_STOPPED));
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
  const std::string appIdKey = std::string("AppID\\") + zvu::kServiceAppId;
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, appIdKey.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                            nullptr, &key, &disposition),
            ERROR_SUCCESS);
  const bool registeredAsService =
      RegQueryValueExA(key, zvu::kLocalServiceValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  if (registeredAsService) GTEST_SKIP() << "the prefix has the service registered";

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
  if (disposition == REG_CREATED_NEW_KEY) RegDeleteKeyA(HKEY_CLASSES_ROOT, appIdKey.c_str());

  EXPECT_EQ(exitCode, 0);
  EXPECT_FALSE(service.ServiceMode());
  EXPECT_EQ(printed, std::string("Service log ") + zvu::kServiceLogPath +
                         " not opened Err:32, the service runs without it\n");
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
