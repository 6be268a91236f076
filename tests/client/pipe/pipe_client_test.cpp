#include "pipe_client.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "child_process.h"
#include "pipe_protocol.h"
#include "program_log.h"
#include "registered_messages.h"
#include "temp_files.h"

namespace {

using zvu::test::ChildProcess;
using zvu::test::LinesStartingWith;
using zvu::test::WaitUntil;

const bool g_childrenOffTheOutput = zvu::test::KeepChildrenOffTheOutput();

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
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (announced_.size() < count) {
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    return true;
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
    logPath_ = zvu::test::TempFilePath("zvu_client_log_" + name + ".txt");
    DeleteFileA(recordPath_.c_str());
    DeleteFileA(logPath_.c_str());
    ASSERT_TRUE(zvu::ProgramLog::Open(logPath_.c_str()));
  }
  void TearDown() override { zvu::ProgramLog::Close(); }

  // Starts the scripted service and waits until its pipe exists.
  void StartService(const std::string& arguments) {
    std::string command = zvu::test::Quote(zvu::test::ExeDir() + "zvu_scripted_service.exe");
    command += " --record " + zvu::test::Quote(recordPath_) + " " + arguments;
    ASSERT_TRUE(service_.Start(command));
    ASSERT_TRUE(WaitUntil([&] { return !LinesStartingWith(recordPath_, "ready").empty(); }, 10000));
  }
  bool WaitServiceDone() {
    return WaitUntil([&] { return !LinesStartingWith(recordPath_, "done").empty(); }, 10000);
  }
  std::string Log() const { return zvu::test::ReadWholeFile(logPath_); }

  static std::string Record(HWND target, const std::string& text) {
    char head[96];
    std::snprintf(head, sizeof(head), " data received from server and send to: %x \r\n ",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(target)));
    std::string record = head;
    record.append(text).append("\r\n");
    return record;
  }

  std::string recordPath_;
  std::string logPath_;
  ChildProcess service_;
};

TEST_F(PipeClientTest, WithoutServiceRegistrationEndsAtOnceWithNoReader) {
  zvu::PipeClient client;
  const ULONGLONG before = GetTickCount64();
  EXPECT_EQ(client.Register(), zvu::PipeClient::kNoService);
  EXPECT_LT(GetTickCount64() - before, 5000u);
  EXPECT_EQ(client.Text(), "");
}

TEST_F(PipeClientTest, RegistersWithDuplicatedHandleAndReceivesCataloguesInOrder) {
  const std::string large(250, 'L');
  StartService("s300 " + WriteStep(large + "\xff") + " s300 " + WriteStep("second\xff"));
  zvu::PipeClient client;
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
  zvu::PipeClient client;
  AnnouncementWindow window(client);
  ASSERT_EQ(client.Register(), zvu::PipeClient::kRegistered);
  client.SetTarget(window.Handle());
  ASSERT_TRUE(window.WaitFor(3, 10000));
  EXPECT_EQ(window.Announced(), (std::vector<std::string>{std::string(100, 'h'), "abc", "xyz"}));
}

TEST_F(PipeClientTest, CatalogueBeforeTheTargetIsLoggedWithHandleZeroAndNotAnnounced) {
  StartService(WriteStep("early\xff"));
  zvu::PipeClient client;
  AnnouncementWindow window(client);
  ASSERT_EQ(client.Register(), zvu::PipeClient::kRegistered);
  ASSERT_TRUE(WaitServiceDone());
  ASSERT_TRUE(WaitUntil([&] { return Log() == Record(nullptr, "early"); }, 5000)) << Log();
  EXPECT_FALSE(window.WaitFor(1, 500));
  EXPECT_EQ(client.Text(), "early");
}

TEST_F(PipeClientTest, ServiceGoneMidCatalogueCostsNoProcessorTime) {
  StartService("s300 " + WriteStep(std::string(150, 'p')) + " x");
  zvu::PipeClient client;
  AnnouncementWindow window(client);
  ASSERT_EQ(client.Register(), zvu::PipeClient::kRegistered);
  client.SetTarget(window.Handle());
  ASSERT_TRUE(service_.WaitExit(10000));
  Sleep(200);

  // The reader waits for the service's next process without spinning: over
  // a second, the whole test process uses next to no processor time.
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
  // A hello naming a process that cannot be opened for duplication stands for
  // a service this user may not duplicate into: the registration then carries
  // this process's own value of the write end.
  StartService("--hello 0");
  zvu::PipeClient client;
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
  StartService("--hello 0");
  zvu::PipeClient client;
  ASSERT_EQ(client.Register(), zvu::PipeClient::kRegistered);
  EXPECT_NE(Log().find("service process 0 cannot be watched Err:"), std::string::npos) << Log();
  EXPECT_NE(Log().find(", no new registration after its restart \r\n"), std::string::npos) << Log();
}

TEST_F(PipeClientTest, RegistersAgainWithTheServicesNextProcessAndReceivesFromIt) {
  StartService("s300 " + WriteStep("first\xff") + " s300 x");
  zvu::PipeClient client;
  AnnouncementWindow window(client);
  ASSERT_EQ(client.Register(), zvu::PipeClient::kRegistered);
  client.SetTarget(window.Handle());
  ASSERT_TRUE(window.WaitFor(1, 10000));
  ASSERT_TRUE(service_.WaitExit(10000));

  // The service's next process, as after a restart.
  const std::string nextRecord = zvu::test::TempFilePath("zvu_scripted_next_service.txt");
  DeleteFileA(nextRecord.c_str());
  ChildProcess next;
  ASSERT_TRUE(next.Start(zvu::test::Quote(zvu::test::ExeDir() + "zvu_scripted_service.exe") +
                         " --record " + zvu::test::Quote(nextRecord) + " s300 " +
                         WriteStep("second\xff")));
  ASSERT_TRUE(window.WaitFor(2, 5000 + 3 * zvu::PipeClient::kReregisterPauseMs))
      << zvu::test::ReadWholeFile(nextRecord);
  EXPECT_EQ(window.Announced(), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(client.Registrations(), 2u);
  EXPECT_EQ(client.ServiceProcessId(), next.Id());
  EXPECT_EQ(Log(), Record(window.Handle(), "first") + Record(window.Handle(), "second"));
}

}  // namespace
