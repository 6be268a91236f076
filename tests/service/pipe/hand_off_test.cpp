// A client that registers and never reads holds nobody up: the hand-off
// gives up on it at its limit and drops it. And a client whose process id
// names nothing any more leaves the table.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "client_pipe_server.h"
#include "log_capture.h"
#include "pipe_test_clients.h"
#include "registration_thread.h"
#include "temp_files.h"
#include "update_cycle.h"

namespace {

using zvu::test::ChildProcess;
using zvu::test::LinesStartingWith;
using zvu::test::Occurrences;
using zvu::test::WaitUntil;

const bool g_childrenOffTheOutput = zvu::test::KeepChildrenOffTheOutput();

// Short enough for a test, long enough for a reading client on a loaded machine.
constexpr DWORD kTestHandOffLimitMs = 3000;

// The update cycle's work with the real pipe server and a check that always
// finds a catalogue larger than a client pipe's buffer.
class PipeServerWork : public zvu::UpdateWork {
 public:
  explicit PipeServerWork(zvu::ClientPipeServer& server) : server_(server) {}
  std::atomic<int> checks{0};
  HRESULT StartRegistrationThread() override { return server_.StartRegistrationThread(); }
  void StopRegistrationThread() override { server_.StopRegistrationThread(); }
  HRESULT CheckForUpdates(std::string& updateXml, HANDLE) override {
    ++checks;
    updateXml = std::string(64 * 1024, 'c');
    return S_OK;
  }
  HRESULT SendCatalogue(const std::string& text, HANDLE stopEvent) override {
    return server_.SendCatalogue(text, stopEvent);
  }

 private:
  zvu::ClientPipeServer& server_;
};

std::string TestName() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

TEST(HandOffLimit, ClientThatNeverReadsHoldsUpNoTickCheckStopOrNextClient) {
  zvu::test::LogCapture log("zvu_handoff_" + TestName());
  const std::string record = zvu::test::TempFilePath("zvu_handoff_" + TestName() + ".txt");
  std::atomic<int> launches{0};
  zvu::ClientPipeServer server(GetCurrentProcessId(), &zvu::CreateRegistrationPipeInstance,
                               [&](const char*, DWORD, DWORD) -> DWORD { ++launches; return 0; },
                               kTestHandOffLimitMs);
  PipeServerWork work(server);
  ASSERT_EQ(work.StartRegistrationThread(), 0);
  zvu::UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  zvu::UpdateCycle cycle(work, stop.get());
  cycle.Start();

  // The first tick checks and hands off to a client that never reads: it
  // returns at the limit, with the client dropped and the catalogue pending.
  ChildProcess silent(zvu::test::PipeClientCommand(record, "--mode no-read"));
  ASSERT_TRUE(zvu::test::WaitRegistered(server, silent.Id()));
  cycle.OnTimerTick();
  EXPECT_EQ(work.checks, 1);
  EXPECT_TRUE(cycle.UpdatesPending());
  EXPECT_FALSE(server.Clients().Lookup(silent.Id(), nullptr));
  EXPECT_EQ(Occurrences(log.Text(), "Hand-off to client PID: " + std::to_string(silent.Id()) +
                                        " given up after 3 s, client dropped, catalogue kept \r\n"),
            1u)
      << log.Text();

  // The next tick finds no client and asks for one to be started.
  cycle.OnTimerTick();
  EXPECT_GE(launches.load(), 1);
  EXPECT_TRUE(cycle.UpdatesPending());

  // The next client gets the catalogue.
  ChildProcess reader(zvu::test::PipeClientCommand(record, "--mode register"));
  ASSERT_TRUE(zvu::test::WaitRegistered(server, reader.Id()));
  cycle.OnTimerTick();
  EXPECT_FALSE(cycle.UpdatesPending()) << log.Text();
  auto catalogues = [&] { return LinesStartingWith(record, "catalogue ").size(); };
  EXPECT_TRUE(WaitUntil([&] { return catalogues() == 1; }, 20000));

  // The next check comes on its tick and hands over again.
  while (work.checks < 2) cycle.OnTimerTick();
  EXPECT_TRUE(WaitUntil([&] { return catalogues() == 2; }, 20000));

  // A stop during a hand-off to a client that does not read ends it at once,
  // not at the limit.
  EXPECT_TRUE(reader.EndKeepingHandle());
  ChildProcess blocked(zvu::test::PipeClientCommand(
      record, "--mode no-read --share-read-end " + std::to_string(GetCurrentProcessId())));
  ASSERT_TRUE(zvu::test::WaitRegistered(server, blocked.Id()));
  HANDLE readEnd = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] { return (readEnd = zvu::test::SharedReadEnd(record, blocked.Id())) != nullptr; }, 10000));
  zvu::UniqueHandle ownedReadEnd(readEnd);
  std::thread stopper([&] {
    WaitUntil([&] { return zvu::test::BytesWaiting(readEnd) > 0; }, 20000);
    SetEvent(stop.get());
  });
  // Ticks until the stop: the third check's hand-off blocks until then.
  while (WaitForSingleObject(stop.get(), 0) != WAIT_OBJECT_0) cycle.OnTimerTick();
  stopper.join();
  EXPECT_EQ(work.checks, 3);
  EXPECT_TRUE(cycle.UpdatesPending());
  const std::string text = log.Text();
  EXPECT_EQ(Occurrences(text, "Hand-off to client PID: " + std::to_string(blocked.Id()) +
                                  " given up on stop \r\n"),
            1u)
      << text;
  EXPECT_EQ(Occurrences(text, "Hand-off to client PID: " + std::to_string(blocked.Id()) +
                                  " given up after"),
            0u)
      << text;
  EXPECT_TRUE(server.StopRegistrationThread(5000));
}

TEST(ClientTablePruning, ClientWhoseProcessIdNamesNothingAnyMoreIsDropped) {
  const std::string record = zvu::test::TempFilePath("zvu_prune_" + TestName() + ".txt");
  zvu::ClientPipeServer server(GetCurrentProcessId(), &zvu::CreateRegistrationPipeInstance,
                               [](const char*, DWORD, DWORD) -> DWORD { return 0; });
  ASSERT_EQ(server.StartRegistrationThread(), 0);
  auto gone = std::make_unique<ChildProcess>(zvu::test::PipeClientCommand(
      record, "--mode no-read --share-read-end " + std::to_string(GetCurrentProcessId())));
  const DWORD goneId = gone->Id();
  ASSERT_TRUE(zvu::test::WaitRegistered(server, goneId));
  HANDLE readEnd = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] { return (readEnd = zvu::test::SharedReadEnd(record, goneId)) != nullptr; }, 10000));
  zvu::UniqueHandle ownedReadEnd(readEnd);
  // Ended with no handle left open: its id soon names no process (Wine lets
  // it go a moment after the end).
  gone.reset();
  ASSERT_TRUE(WaitUntil([&] {
    zvu::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, goneId));
    return !process && GetLastError() == ERROR_INVALID_PARAMETER;
  }, 10000));
  EXPECT_FALSE(zvu::test::PipeBroken(readEnd)) << "the server no longer holds the write end";

  zvu::ChosenClient chosen;
  EXPECT_EQ(server.FindClient(&chosen), zvu::kNoClient);
  EXPECT_FALSE(server.Clients().Lookup(goneId, nullptr));
  EXPECT_TRUE(zvu::test::PipeBroken(readEnd)) << "the server's copy of the pipe is still open";
}

}  // namespace
