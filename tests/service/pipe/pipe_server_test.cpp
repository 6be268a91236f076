#include "client_pipe_server.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "child_process.h"
#include "log_capture.h"
#include "pipe_protocol.h"
#include "pipe_test_clients.h"
#include "registration_thread.h"
#include "temp_files.h"
#include "unique_handle.h"

namespace {

using zvu::test::ChildProcess;
using zvu::test::Hex;
using zvu::test::LinesStartingWith;
using zvu::test::Occurrences;
using zvu::test::WaitUntil;

const bool g_childrenOffTheOutput = zvu::test::KeepChildrenOffTheOutput();

constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005L);

// Stands in for the start of the client program in the user's session, so
// that these tests start nothing outside themselves; it records the requests.
struct LaunchRecorder {
  std::vector<std::string> commandLines;
  zvu::ClientLauncher Launcher() {
    return [this](const char* commandLine, DWORD, DWORD) -> DWORD {
      commandLines.push_back(commandLine);
      return 0;
    };
  }
};

class PipeServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    recordPath_ = zvu::test::TempFilePath("zvu_pipe_" + name + ".txt");
    ASSERT_EQ(server_.StartRegistrationThread(), 0);
    // Give the thread time to create the first instance.
    ASSERT_TRUE(WaitUntil([] { return WaitNamedPipeA(zvu::kRegistrationPipeName, 0) != FALSE ||
                                      GetLastError() == ERROR_SEM_TIMEOUT; }, 5000));
  }

  std::string ClientCommand(const std::string& arguments) const {
    return zvu::test::PipeClientCommand(recordPath_, arguments);
  }
  bool WaitRegistered(DWORD processId, HANDLE* pipe = nullptr) {
    return zvu::test::WaitRegistered(server_, processId, pipe);
  }
  // The read end of the client's catalogue pipe, which a client started
  // with --share-read-end gave this process; null when there is none.
  HANDLE WaitSharedReadEnd(DWORD clientId) const {
    HANDLE readEnd = nullptr;
    WaitUntil([&] { return (readEnd = zvu::test::SharedReadEnd(recordPath_, clientId)) != nullptr; },
              10000);
    return readEnd;
  }
  std::string ShareReadEnd() const {
    return " --share-read-end " + std::to_string(GetCurrentProcessId());
  }
  // Sets stop once the first bytes of a write have reached the pipe, and
  // notes when; *stoppedAt stays 0 when they never came.
  static std::thread StopOnceWriting(HANDLE stop, HANDLE readEnd, std::atomic<ULONGLONG>* stoppedAt) {
    return std::thread([=] {
      if (WaitUntil([&] { return zvu::test::BytesWaiting(readEnd) > 0; }, 10000)) {
        stoppedAt->store(GetTickCount64());
      }
      SetEvent(stop);
    });
  }

  std::vector<std::string> Catalogues() const { return LinesStartingWith(recordPath_, "catalogue "); }
  bool WaitCatalogues(size_t count) const {
    return WaitUntil([&] { return Catalogues().size() >= count; }, 10000);
  }
  std::string RawBytes() const {
    std::string all;
    for (const std::string& chunk : LinesStartingWith(recordPath_, "raw ")) all += chunk;
    return all;
  }

  std::string recordPath_;
  LaunchRecorder launches_;
  zvu::ClientPipeServer server_{GetCurrentProcessId(), &zvu::CreateRegistrationPipeInstance,
                                launches_.Launcher()};
};

TEST_F(PipeServerTest, ClientRegistersAndReceivesTheTextAndTheMarker) {
  ChildProcess client(ClientCommand("--mode register"));
  ASSERT_TRUE(WaitRegistered(client.Id()));
  EXPECT_EQ(LinesStartingWith(recordPath_, "hello "),
            std::vector<std::string>{std::to_string(GetCurrentProcessId())});

  ASSERT_EQ(server_.SendCatalogue("<catalogue/>", nullptr), 0);
  ASSERT_TRUE(WaitCatalogues(1));
  EXPECT_EQ(RawBytes(), Hex("<catalogue/>\xFF"));
  EXPECT_EQ(Catalogues()[0], Hex("<catalogue/>"));

  // Later catalogues go through the same pipe.
  ASSERT_EQ(server_.SendCatalogue("second", nullptr), 0);
  ASSERT_TRUE(WaitCatalogues(2));
  EXPECT_EQ(Catalogues()[1], Hex("second"));
  EXPECT_EQ(server_.Clients().Count(), 1u);
}

TEST_F(PipeServerTest, CataloguesAroundTheClientsReadChunkArriveWhole) {
  ChildProcess client(ClientCommand("--mode register"));
  ASSERT_TRUE(WaitRegistered(client.Id()));
  const std::string text99(99, 'a');
  const std::string text100(100, 'b');
  ASSERT_EQ(server_.SendCatalogue(text99, nullptr), 0);
  ASSERT_TRUE(WaitCatalogues(1));
  ASSERT_EQ(server_.SendCatalogue(text100, nullptr), 0);
  ASSERT_TRUE(WaitCatalogues(2));
  EXPECT_EQ(Catalogues()[0], Hex(text99));
  // The 100-byte text fills a whole read; its marker ends it in a later read.
  EXPECT_EQ(Catalogues()[1], Hex(text100));
  EXPECT_EQ(RawBytes(), Hex(text99 + "\xFF" + text100 + "\xFF"));
}

// The marker is not escaped and the client keeps each chunk up to its first
// NUL: a 0xFF in the text ends the client's copy there and the rest of that
// read is lost; a NUL hides the marker of its chunk, so the client's copy
// stops at the NUL and runs on into the next catalogue.
TEST_F(PipeServerTest, MarkerAndNulInsideTheTextCutTheClientsCopy) {
  ChildProcess client(ClientCommand("--mode register"));
  ASSERT_TRUE(WaitRegistered(client.Id()));

  ASSERT_EQ(server_.SendCatalogue(std::string("abc\xFF" "def"), nullptr), 0);
  ASSERT_TRUE(WaitCatalogues(1));
  EXPECT_EQ(Catalogues()[0], Hex("abc"));

  ASSERT_EQ(server_.SendCatalogue(std::string("xy\0z", 4), nullptr), 0);
  ASSERT_EQ(server_.SendCatalogue("next", nullptr), 0);
  ASSERT_TRUE(WaitCatalogues(2));
  EXPECT_EQ(Catalogues()[1], Hex("xynext"));
  // What went over the wire is exactly what was sent.
  EXPECT_EQ(RawBytes(), Hex(std::string("abc\xFF" "def\xFF" "xy\0z\xFF" "next\xFF", 18)));
}

TEST_F(PipeServerTest, ClientsRegisteringAtOnceAreAllServed) {
  ChildProcess first(ClientCommand("--mode no-read"));
  ChildProcess second(ClientCommand("--mode no-read"));
  ChildProcess third(ClientCommand("--mode no-read"));
  EXPECT_TRUE(WaitRegistered(first.Id()));
  EXPECT_TRUE(WaitRegistered(second.Id()));
  EXPECT_TRUE(WaitRegistered(third.Id()));
  EXPECT_EQ(LinesStartingWith(recordPath_, "register-failed ").size(), 0u);
}

TEST_F(PipeServerTest, EndedClientIsPrunedAndTheNextOneChosenInTheSamePass) {
  ChildProcess ended(ClientCommand("--mode no-read" + ShareReadEnd()));
  const DWORD endedId = ended.Id();
  ASSERT_TRUE(WaitRegistered(endedId));
  // The ended client's pipe lives on in this read end: it breaks once the
  // server has closed the write end it held.
  zvu::UniqueHandle readEnd(WaitSharedReadEnd(endedId));
  ASSERT_TRUE(readEnd);
  // The server learns that a client has ended from its exit code, which it
  // can read by the process id only while the ended process is still held
  // open, here by this test.
  EXPECT_TRUE(ended.EndKeepingHandle());
  EXPECT_FALSE(zvu::test::PipeBroken(readEnd.get())) << "the server no longer holds the write end";
  ChildProcess running(ClientCommand("--mode register"));
  HANDLE runningPipe = nullptr;
  ASSERT_TRUE(WaitRegistered(running.Id(), &runningPipe));

  zvu::ChosenClient chosen;
  ASSERT_EQ(server_.FindClient(&chosen), 0);
  EXPECT_EQ(chosen.processId, running.Id());
  EXPECT_EQ(chosen.pipe, runningPipe);
  EXPECT_FALSE(server_.Clients().Lookup(endedId, nullptr));
  EXPECT_TRUE(zvu::test::PipeBroken(readEnd.get())) << "write end of the ended client still open";
}

TEST_F(PipeServerTest, BrokenOrSilentClientsDoNotEndRegistration) {
  {
    ChildProcess none(ClientCommand("--mode partial:0"));
    ChildProcess three(ClientCommand("--mode partial:3"));
    ChildProcess seven(ClientCommand("--mode partial:7"));
    EXPECT_TRUE(none.WaitExit(10000));
    EXPECT_TRUE(three.WaitExit(10000));
    EXPECT_TRUE(seven.WaitExit(10000));
  }
  ChildProcess afterBroken(ClientCommand("--mode no-read"));
  EXPECT_TRUE(WaitRegistered(afterBroken.Id()));

  // A client that connects and says nothing holds up no one who comes after it.
  ChildProcess silent(ClientCommand("--mode silent"));
  ASSERT_TRUE(zvu::test::WaitConnected(recordPath_, silent.Id()));
  ChildProcess afterSilent(ClientCommand("--mode no-read"));
  EXPECT_TRUE(WaitRegistered(afterSilent.Id()));
  EXPECT_EQ(server_.Clients().Count(), 2u) << zvu::test::ReadWholeFile(recordPath_);
}

TEST_F(PipeServerTest, SendReturnsPromptlyOnStopWhileTheClientDoesNotRead) {
  ChildProcess client(ClientCommand("--mode no-read" + ShareReadEnd()));
  ASSERT_TRUE(WaitRegistered(client.Id()));
  zvu::UniqueHandle readEnd(WaitSharedReadEnd(client.Id()));
  ASSERT_TRUE(readEnd);

  zvu::UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  std::atomic<ULONGLONG> stoppedAt{0};
  std::thread stopper = StopOnceWriting(stop.get(), readEnd.get(), &stoppedAt);
  EXPECT_EQ(server_.SendCatalogue(std::string(1 << 20, 'x'), stop.get()), kFail);
  const ULONGLONG returnedAt = GetTickCount64();
  stopper.join();
  ASSERT_NE(stoppedAt.load(), 0u) << "the write never reached the pipe";
  EXPECT_LT(returnedAt - stoppedAt.load(), 1500u);

  // The client is still registered; once it is gone the next send fails
  // without hanging and forgets the dead pipe.
  EXPECT_TRUE(server_.Clients().Lookup(client.Id(), nullptr));
  ResetEvent(stop.get());
  readEnd.reset();
  EXPECT_TRUE(client.EndKeepingHandle());
  EXPECT_EQ(server_.SendCatalogue("after", stop.get()), kFail);
  EXPECT_FALSE(server_.Clients().Lookup(client.Id(), nullptr));
}

TEST_F(PipeServerTest, PipeWithoutReaderIsDroppedAtTheFailedWrite) {
  // The process lives on, so only the failed write shows that the pipe is dead.
  ChildProcess client(ClientCommand("--mode close-read"));
  ASSERT_TRUE(WaitRegistered(client.Id()));
  EXPECT_EQ(server_.SendCatalogue("text", nullptr), kFail);
  EXPECT_FALSE(server_.Clients().Lookup(client.Id(), nullptr));
}

TEST_F(PipeServerTest, RegistrationsNamingNoPipeOfTheClientAreRefused) {
  zvu::test::LogCapture log("zvu_pipe_refused");
  // A file of the service's own must never become a client's pipe.
  const std::string ownFile = zvu::test::TempFilePath("zvu_pipe_own_file.txt");
  HANDLE file = CreateFileA(ownFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);

  ChildProcess ended(ClientCommand("--mode no-read"));
  const DWORD endedId = ended.Id();
  ASSERT_TRUE(WaitRegistered(endedId));
  ended.Kill();
  ChildProcess valid(ClientCommand("--mode no-read"));
  HANDLE validPipe = nullptr;
  ASSERT_TRUE(WaitRegistered(valid.Id(), &validPipe));
  const unsigned validValue = zvu::HandleToWire(validPipe);

  const std::string refused[] = {
      "--handle 0",
      "--handle 0x12345678",
      "--handle " + std::to_string(zvu::HandleToWire(file)),
      "--handle " + std::to_string(zvu::HandleToWire(event)),
      "--handle " + std::to_string(validValue),  // another client's pipe
      "--pid 0",
      "--pid " + std::to_string(GetCurrentProcessId()),
      "--pid " + std::to_string(endedId),  // a process that has ended
  };
  // The refused clients stay alive, so only the refusal keeps them out.
  std::vector<std::unique_ptr<ChildProcess>> refusedClients;
  for (const std::string& arguments : refused) {
    refusedClients.push_back(std::make_unique<ChildProcess>(ClientCommand("--mode no-read " + arguments)));
  }
  // The server's verdict on each connection is in its log.
  EXPECT_TRUE(WaitUntil([&] {
    const std::string text = log.Text();
    for (const auto& client : refusedClients) {
      if (Occurrences(text, zvu::test::RefusedRecord(client->Id())) != 1) return false;
    }
    return true;
  }, 20000)) << log.Text();
  for (const auto& client : refusedClients) {
    EXPECT_EQ(Occurrences(log.Text(), zvu::test::RegisteredRecord(client->Id())), 0u);
    EXPECT_FALSE(server_.Clients().Lookup(client->Id(), nullptr));
  }
  // The ended client and the valid one; the valid one keeps its own pipe.
  EXPECT_EQ(server_.Clients().Count(), 2u);
  HANDLE held = nullptr;
  ASSERT_TRUE(server_.Clients().Lookup(valid.Id(), &held));
  EXPECT_EQ(held, validPipe);
  zvu::ChosenClient chosen;
  ASSERT_EQ(server_.FindClient(&chosen), 0);
  EXPECT_EQ(chosen.processId, valid.Id());

  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(file, &flags));
  EXPECT_TRUE(GetHandleInformation(event, &flags));
  EXPECT_EQ(GetFileSize(file, nullptr), 0u);
  CloseHandle(event);
  CloseHandle(file);
  DeleteFileA(ownFile.c_str());
}

// The hand-offs that did not reach their client say so in the service log.
TEST_F(PipeServerTest, HandOffsThatDidNotReachTheClientAreLogged) {
  zvu::test::LogCapture log("zvu_pipe_handoff");
  ChildProcess blocked(ClientCommand("--mode no-read"));
  ASSERT_TRUE(WaitRegistered(blocked.Id()));
  ChildProcess gone(ClientCommand("--mode close-read"));
  ASSERT_TRUE(WaitRegistered(gone.Id()));
  // The client chosen first does not read: the send is given up on stop.
  zvu::UniqueHandle stop(CreateEventA(nullptr, TRUE, TRUE, nullptr));
  zvu::ChosenClient chosen;
  ASSERT_EQ(server_.FindClient(&chosen), 0);
  ASSERT_EQ(chosen.processId, blocked.Id());
  EXPECT_EQ(server_.SendCatalogue(std::string(1 << 20, 'x'), stop.get()), kFail);
  EXPECT_TRUE(blocked.EndKeepingHandle());
  ResetEvent(stop.get());
  // The blocked write ends with its reader; the next send reaches the
  // client without a reader and drops it.
  EXPECT_EQ(server_.SendCatalogue("text", stop.get()), kFail);
  EXPECT_EQ(server_.SendCatalogue("text", stop.get()), kFail);
  const std::string text = log.Text();
  EXPECT_NE(text.find("Hand-off to client PID: " + std::to_string(chosen.processId) +
                      " given up on stop \r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Client PID: " + std::to_string(gone.Id()) +
                      " gone during hand-off, catalogue kept \r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(server_.Clients().Count(), 0u);
}

TEST_F(PipeServerTest, HandOffBlockedWhenTheStopComesIsLoggedAsGivenUp) {
  zvu::test::LogCapture log("zvu_pipe_stopped_handoff");
  ChildProcess blocked(ClientCommand("--mode no-read" + ShareReadEnd()));
  ASSERT_TRUE(WaitRegistered(blocked.Id()));
  zvu::UniqueHandle readEnd(WaitSharedReadEnd(blocked.Id()));
  ASSERT_TRUE(readEnd);
  // The write is under way (and may be cancelled) when the stop comes.
  zvu::UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  std::atomic<ULONGLONG> stoppedAt{0};
  std::thread stopper = StopOnceWriting(stop.get(), readEnd.get(), &stoppedAt);
  EXPECT_EQ(server_.SendCatalogue(std::string(1 << 20, 'x'), stop.get()), kFail);
  stopper.join();
  EXPECT_NE(stoppedAt.load(), 0u) << "the write never reached the pipe";
  EXPECT_NE(log.Text().find("Hand-off to client PID: " + std::to_string(blocked.Id()) +
                            " given up on stop \r\n"),
            std::string::npos)
      << log.Text();
}

TEST(PipeServerLifetime, StopEndsTheThreadPromptlyEvenWithAClientConnected) {
  zvu::ClientPipeServer server;
  ASSERT_EQ(server.StartRegistrationThread(), 0);
  ASSERT_EQ(server.StartRegistrationThread(), 0);  // already running: no second thread
  ASSERT_TRUE(WaitUntil([] { return WaitNamedPipeA(zvu::kRegistrationPipeName, 0) != FALSE; }, 5000));
  HANDLE connected = CreateFileA(zvu::kRegistrationPipeName, GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(connected, INVALID_HANDLE_VALUE);
  const ULONGLONG started = GetTickCount64();
  EXPECT_TRUE(server.StopRegistrationThread(5000));
  // Well before the connected client's exchange would have timed out.
  EXPECT_LT(GetTickCount64() - started, zvu::kRegistrationExchangeTimeoutMs / 2);
  CloseHandle(connected);

  // With the thread ended, a new server can take the pipe name.
  zvu::ClientPipeServer next;
  ASSERT_EQ(next.StartRegistrationThread(), 0);
  EXPECT_TRUE(WaitUntil([] { return WaitNamedPipeA(zvu::kRegistrationPipeName, 0) != FALSE; }, 5000));
}

TEST(PipeServerLifetime, PipeExistsAsSoonAsTheThreadHasStarted) {
  for (int round = 0; round < 5; ++round) {
    zvu::ClientPipeServer server;
    ASSERT_EQ(server.StartRegistrationThread(), 0);
    // No waiting: a client that gave up on a missing pipe would have no channel.
    EXPECT_NE(WaitNamedPipeA(zvu::kRegistrationPipeName, 0), FALSE) << "round " << round;
    EXPECT_TRUE(server.StopRegistrationThread(5000));
  }
}

TEST(PipeServerLifetime, SendWithoutAnyClientFailsAndAsksForTheClientToBeStarted) {
  ASSERT_NE(zvu::test::EnsureShellRunning(), 0u);  // an active shell to start it in
  LaunchRecorder launches;
  zvu::ClientPipeServer server(GetCurrentProcessId(), &zvu::CreateRegistrationPipeInstance,
                               launches.Launcher());
  EXPECT_EQ(server.SendCatalogue("text", nullptr), kFail);
  EXPECT_EQ(launches.commandLines, std::vector<std::string>{"ZelkoVuroUpdateGui.exe"});
}

}  // namespace
