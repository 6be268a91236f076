#include "pipe_client.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "log_capture.h"
#include "pipe_protocol.h"
#include "registered_messages.h"
#include "temp_files.h"

namespace {

using zvu::test::ChildProcess;
using zvu::test::LinesStartingWith;
using zvu::test::LogCapture;
using zvu::test::WaitUntil;

const bool g_childrenOffTheOutput = zvu::test::KeepChildrenOffTheOutput();

// What the client under test is told about the service. The service
// control manager knows no update service here: by default the running
// scripted service stands for it; a test that plays a process which took
// the pipe's name names the service's process itself (0: not running).
std::atomic<bool> g_scriptedServiceIsTheService{true};
std::atomic<DWORD> g_serviceProcessId{0};
// Windows refuses SYNCHRONIZE on the service's process to every user, and
// PROCESS_DUP_HANDLE to all but administrators; Wine grants both.
std::atomic<bool> g_waitRefused{false};
std::atomic<bool> g_duplicationRefused{false};

DWORD StandInServiceProcessId() {
  if (g_scriptedServiceIsTheService) return zvu::test::FindProcess("zvu_scripted_service.exe");
  return g_serviceProcessId;
}

HANDLE StandInOpenServiceProcess(DWORD access, DWORD processId) {
  if (((access & SYNCHRONIZE) != 0 && g_waitRefused) ||
      ((access & PROCESS_DUP_HANDLE) != 0 && g_duplicationRefused)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return OpenProcess(access, FALSE, processId);
}

bool UnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

constexpr zvu::PipeClient::ServiceAccess kStandIn{&StandInServiceProcessId,
                                                  &StandInOpenServiceProcess};

// A message-only window that takes the announcements: it reads the pipe
// client's text while it handles UWM_UPDATES_FOUND, as the main window does.
class AnnouncementWindow {
 public:
  explicit AnnouncementWindow(zvu::PipeClient& client) : client_(client) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &AnnouncementWindow::Procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZvuAnnouncementWindow";
    RegisterClassExA(&wc);
    window_ = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~AnnouncementWindow() { DestroyWindow(window_); }

  HWND Handle() const { return window_; }
  const std::vector<std::string>& Announced() const { return announced_; }

  // Handles messages until count announcements came or timeoutMs passed.
  bool WaitFor(size_t count, DWORD timeoutMs) {
    return WaitUntil([&] { return announced_.size() >= count; }, timeoutMs);
  }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<AnnouncementWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == zvu::UWM_UPDATES_FOUND) {
      EXPECT_EQ(wParam, 0u);
      EXPECT_EQ(lParam, 0);
      self->announced_.push_back(self->client_.Text());
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  zvu::PipeClient& client_;
  HWND window_ = nullptr;
  std::vector<std::string> announced_;
};

std::string WriteStep(const std::string& bytes) {
  std::string step(1, 'w');
  step.append(zvu::test::Hex(bytes));
  return step;
}

class PipeClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    recordPath_ = zvu::test::TempFilePath("zvu_scripted_" + name + ".txt");
    log_ = std::make_unique<LogCapture>("zvu_client_log_" + name);
    ASSERT_TRUE(log_->Opened());
    g_scriptedServiceIsTheService = true;
    g_serviceProcessId = 0;
    g_waitRefused = false;
    g_duplicationRefused = false;
  }

  // Starts the scripted service and waits until its pipe exists.
  void StartService(const std::string& arguments) { StartScripted(service_, recordPath_, arguments); }
  static void StartScripted(ChildProcess& process, const std::string& record,
                            const std::string& arguments) {
    std::string command = zvu::test::Quote(zvu::test::ExeDir() + "zvu_scripted_service.exe");
    command += " --record " + zvu::test::Quote(record) + " " + arguments;
    ASSERT_TRUE(process.Start(command));
    ASSERT_TRUE(WaitUntil([&] { return !LinesStartingWith(record, "ready").empty(); }, 10000));
  }
  // Registers the client with a service that hands over "first" and then
  // ends, as the service's process does at a restart.
  void RegisterWithAServiceThatEnds(zvu::PipeClient& client, AnnouncementWindow& window) {
    StartService("s300 " + WriteStep("first\xff") + " s300 x");
    ASSERT_EQ(client.Register(), zvu::PipeClient::kRegistered);
    client.SetTarget(window.Handle());
    ASSERT_TRUE(window.WaitFor(1, 10000));
    ASSERT_TRUE(service_.WaitExit(10000));
  }
  bool WaitServiceDone() {
    return WaitUntil([&] { return !LinesStartingWith(recordPath_, "done").empty(); }, 10000);
  }
  std::string Log() const { return log_->Text(); }

  static std::string Record(HWND target, const std::string& text) {
    char head[96];
    std::snprintf(head, sizeof(head), " data received from server and send to: %x \r\n ",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(target)));
    std::string record = head;
    record.append(text).append("\r\n");
    return record;
  }

  std::string recordPath_;
  std::unique_ptr<LogCapture> log_;
  ChildProcess service_;
};

TEST_F(PipeClientTest, WithoutServiceRegistrationEndsAtOnceWithNoReader) {
  zvu::PipeClient client(kStandIn);
  const ULONGLONG before = GetTickCount64();
  EXPECT_EQ(client.Register(), zvu::PipeClient::kNoService);
  EXPECT_LT(GetTickCount64() - before, 5000u);
  EXPECT_EQ(client.Text(), "");
}

TEST_F(PipeClientTest, RegistersWithDuplicatedHandleAndReceivesCataloguesInOrder) {
  const std::string large(250, 'L');
  StartService("s300 " + WriteStep(large + "\xff") + " s300 " + WriteStep("second\xff"));
  zvu::PipeClient client(kStandIn);
  AnnouncementWindow window(client);
  ASSERT_EQ(client.Register(), zvu::PipeClient::kRegistered);
  client.SetTarget(window.Handle());

  EXPECT_EQ(client.ServiceProcessId(), service_.Id());
  EXPECT_EQ(client.RegisteredProcessId(), GetCurrentProcessId());
  // The service records the registration after it has read it.
  ASSERT_TRUE(WaitUntil([&] { return !LinesStartingWith(recordPath_, "registered ").empty(); }, 5000));
  const auto registered = LinesStartingWith(recordPath_, "registered ");
  ASSERT_EQ(registered.size(), 1u);
  EXPECT_EQ(registered[0], std::to_string(GetCurrentProcessId()) + " " +
                               std::to_string(client.RegisteredHandle()));

  ASSERT_TRUE(window.WaitFor(2, 10000));
  // The 250 bytes came in several reads and were announced once, whole.
  EXPECT_EQ(window.Announced(), (std::vector<std::string>{large, "second"}));
  EXPECT_EQ(Log(), Record(window.Handle(), large) + Record(window.Handle(), "second"));
}

TEST_F(PipeClientTest, MarkerEndsTheCatalogueAndTheRestOfItsReadIsLost) {
  StartService("s300 " + WriteStep(std::string(100, 'h')) + " s300 " + WriteStep("\xff") + " s300 " +
               WriteStep("abc\xff" "def") + " s300 " + WriteStep("xyz\xff"));
  zvu::PipeClient client(kStandIn);
  AnnouncementWindow window(client);
  ASSERT_EQ(client.Register(), zvu::PipeClient::kRegistered);
  client.SetTarget(window.Handle());
  ASSERT_TRUE(window.WaitFor(3, 10000));
  EXPECT_EQ(window.Announced(), (std::vector<std::string>{std::string(100, 'h'), "abc", "xyz"}));
}

TEST_F(PipeClientTest, CatalogueBeforeTheTargetIsLoggedWithHandleZeroAndNotAnnounced) {
  StartService(WriteStep("early\xff"));
  zvu::PipeClient client(kStandIn);
  AnnouncementWindow window(client);
  ASSERT_EQ(client.Register(), zvu::PipeClient::kRegistered);
  ASSERT_TRUE(WaitServiceDone());
  ASSERT_TRUE(WaitUntil([&] { return Log() == Record(nullptr, "early"); }, 5000)) << Log();
  EXPECT_FALSE(window.WaitFor(1, 500));
  EXPECT_EQ(client.Text(), "early");
}

TEST_F(PipeClientTest, ServiceGoneMidCatalogueCostsNoProcessorTime) {
  StartService("s300 " + WriteStep(std::string(150, 'p')) + " x");
  zvu::PipeClient client(kStandIn);
  AnnouncementWindow window(client);
  ASSERT_EQ(client.Register(), zvu::PipeClient::kRegistered);
  client.SetTarget(window.Handle());
  ASSERT_TRUE(service_.WaitExit(10000));

  // The reader sees the pipe break and waits for the service's next process
  // without spinning: over a second, the whole test process uses next to no
  // processor time.
  auto cpu = [] {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& time) {
      return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return value(kernel) + value(user);  // 100 ns units
  };
  const ULONGLONG before = cpu();
  EXPECT_FALSE(window.WaitFor(1, 1000));
  const ULONGLONG used = cpu() - before;
  EXPECT_LT(used, 1000000u) << "processor time in 100 ns units";  // below 100 ms
  EXPECT_EQ(Log(), "");
}

TEST_F(PipeClientTest, UnopenableServiceGetsTheWriteEndAsValidInTheClient) {
  // A service this user may not duplicate into: the registration then
  // carries this process's own value of the write end.
  g_duplicationRefused = true;
  StartService("");
  zvu::PipeClient client(kStandIn);
  AnnouncementWindow window(client);
  ASSERT_EQ(client.Register(), zvu::PipeClient::kRegistered);
  client.SetTarget(window.Handle());

  // The service records the registration after it has read it.
  ASSERT_TRUE(WaitUntil([&] { return !LinesStartingWith(recordPath_, "registered ").empty(); }, 5000));
  const auto registered = LinesStartingWith(recordPath_, "registered ");
  ASSERT_EQ(registered.size(), 1u);
  const uint32_t value = client.RegisteredHandle();
  ASSERT_NE(value, 0u);
  EXPECT_EQ(registered[0], std::to_string(GetCurrentProcessId()) + " " + std::to_string(value));

  // It is the write end of this client's catalogue pipe.
  HANDLE writeEnd = zvu::HandleFromWire(value);
  EXPECT_EQ(GetFileType(writeEnd), static_cast<DWORD>(FILE_TYPE_PIPE));
  const char catalogue[] = "own\xff";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(writeEnd, catalogue, 4, &written, nullptr));
  ASSERT_TRUE(window.WaitFor(1, 5000));
  EXPECT_EQ(window.Announced(), (std::vector<std::string>{"own"}));
}

TEST_F(PipeClientTest, UnwatchableServiceIsLoggedAsNoNewRegistrationAfterARestart) {
  g_waitRefused = true;
  StartService("");
  zvu::PipeClient client(kStandIn);
  ASSERT_EQ(client.Register(), zvu::PipeClient::kRegistered);
  EXPECT_NE(Log().find("service process " + std::to_string(service_.Id()) + " cannot be watched Err:5"),
            std::string::npos) << Log();
  EXPECT_NE(Log().find(", no new registration after its restart \r\n"), std::string::npos) << Log();
}

TEST_F(PipeClientTest, RegistersAgainWithTheServicesNextProcessAndReceivesFromIt) {
  zvu::PipeClient client(kStandIn);
  AnnouncementWindow window(client);
  ASSERT_NO_FATAL_FAILURE(RegisterWithAServiceThatEnds(client, window));

  // The service's next process, as after a restart.
  const std::string nextRecord = zvu::test::TempFilePath("zvu_scripted_next_service.txt");
  ChildProcess next;
  StartScripted(next, nextRecord, "s300 " + WriteStep("second\xff"));
  ASSERT_TRUE(window.WaitFor(2, 5000 + 3 * zvu::PipeClient::kReregisterPauseMs))
      << zvu::test::ReadWholeFile(nextRecord);
  EXPECT_EQ(window.Announced(), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(client.Registrations(), 2u);
  EXPECT_EQ(client.ServiceProcessId(), next.Id());
  EXPECT_EQ(Log(), Record(window.Handle(), "first") + Record(window.Handle(), "second"));
}

// A process that took the pipe's name while the service was stopped, or
// that greets with the service's id, is sent nothing (no registration, no
// handle) and not even read from; a server whose greeting names another
// process is refused too. The server can impersonate the client at
// identification level only, and the client's log names the processes that
// disagreed.
TEST_F(PipeClientTest, PipeServerThatIsNotTheServiceGetsNothingAndTheLogSaysWhy) {
  g_scriptedServiceIsTheService = false;
  enum class Service { kStopped, kElsewhere, kTheServer };
  struct Case {
    const char* what;
    Service service;     // the process the service control manager reports
    bool greetAsOther;   // the greeting names this test's process
  };
  const Case cases[] = {
      {"service stopped, own id greeted", Service::kStopped, false},
      {"service running elsewhere, its id greeted", Service::kElsewhere, true},
      {"the service serves the pipe, another id greeted", Service::kTheServer, true}};
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string record =
        zvu::test::TempFilePath("zvu_squatter_" + std::to_string(++number) + ".txt");
    ChildProcess server;
    std::string arguments = "--impersonate";
    if (c.greetAsOther) arguments += " --hello " + std::to_string(GetCurrentProcessId());
    g_serviceProcessId = c.service == Service::kElsewhere ? GetCurrentProcessId() : 0;
    StartScripted(server, record, arguments);
    if (c.service == Service::kTheServer) g_serviceProcessId = server.Id();

    zvu::PipeClient client(kStandIn);
    EXPECT_EQ(client.Register(), zvu::PipeClient::kNoService);
    EXPECT_EQ(client.Registrations(), 0u);
    // The server read no registration: the client closed the pipe without
    // writing a byte.
    ASSERT_TRUE(WaitUntil([&] { return !LinesStartingWith(record, "registration-failed ").empty(); },
                          5000)) << zvu::test::ReadWholeFile(record);
    EXPECT_TRUE(LinesStartingWith(record, "registered ").empty());
    // The client asked for identification only. Wine does not honour that
    // (its token reads SecurityImpersonation whatever the client asks); on
    // Windows the server's token must read SecurityIdentification.
    const auto levels = LinesStartingWith(record, "impersonation ");
    ASSERT_EQ(levels.size(), 1u) << zvu::test::ReadWholeFile(record);
    if (!UnderWine()) {
      EXPECT_EQ(levels[0], std::to_string(SecurityIdentification));
    }
    // The greeting is read only from the service's own process.
    const DWORD greeting = c.service == Service::kTheServer ? GetCurrentProcessId() : 0;
    char expected[160];
    std::snprintf(expected, sizeof(expected),
                  "Registration refused: pipe server PID: %lu greeting PID: %lu service PID: %lu \r\n",
                  static_cast<unsigned long>(server.Id()), static_cast<unsigned long>(greeting),
                  static_cast<unsigned long>(g_serviceProcessId.load()));
    EXPECT_NE(Log().find(expected), std::string::npos) << Log();
  }
}

// Started while no trusted service served the pipe, the client registers
// once a second start asks it to.
TEST_F(PipeClientTest, RefusedAtStartRegistersWhenAskedAgain) {
  zvu::PipeClient client(kStandIn);
  AnnouncementWindow window(client);
  EXPECT_EQ(client.Register(), zvu::PipeClient::kNoService);

  StartService("s300 " + WriteStep("late\xff"));
  client.SetTarget(window.Handle());
  EXPECT_EQ(client.RegisterAgain(), zvu::PipeClient::kRegistered);
  ASSERT_TRUE(window.WaitFor(1, 10000));
  EXPECT_EQ(window.Announced(), (std::vector<std::string>{"late"}));
  EXPECT_EQ(client.ServiceProcessId(), service_.Id());
  EXPECT_EQ(client.Registrations(), 1u);
}

// On Windows no user may wait on the service's process, so the client does
// not see a restart by itself: the second start that the service then makes
// asks it to register again, and the next catalogue reaches the same client.
TEST_F(PipeClientTest, RestartIsFollowedWhenAskedAgainWhereTheServiceCannotBeWatched) {
  g_waitRefused = true;
  zvu::PipeClient client(kStandIn);
  AnnouncementWindow window(client);
  ASSERT_NO_FATAL_FAILURE(RegisterWithAServiceThatEnds(client, window));

  // The service's next process: with the watch refused, the client still
  // waits on the old pipe until it is asked.
  const std::string nextRecord = zvu::test::TempFilePath("zvu_scripted_next_service.txt");
  ChildProcess next;
  StartScripted(next, nextRecord, "s300 " + WriteStep("second\xff"));
  EXPECT_EQ(client.Registrations(), 1u);
  EXPECT_EQ(client.RegisterAgain(), zvu::PipeClient::kRegistered);
  ASSERT_TRUE(window.WaitFor(2, 5000 + 3 * zvu::PipeClient::kReregisterPauseMs))
      << zvu::test::ReadWholeFile(nextRecord);
  EXPECT_EQ(window.Announced(), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(client.Registrations(), 2u);
  EXPECT_EQ(client.ServiceProcessId(), next.Id());

  // Asked again while registered with the current process: no second
  // registration.
  EXPECT_EQ(client.RegisterAgain(), zvu::PipeClient::kRegistered);
  EXPECT_EQ(client.Registrations(), 2u);
  EXPECT_EQ(LinesStartingWith(nextRecord, "registered ").size(), 1u);
}

}  // namespace
