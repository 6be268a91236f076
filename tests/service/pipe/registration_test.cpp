// Registration as Windows hands out rights: write ends with exactly the
// documented access, clients that name a handle of their own process, the
// pipe's security, and instances that cannot be created.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "client_pipe_server.h"
#include "log_capture.h"
#include "pipe_protocol.h"
#include "pipe_test_clients.h"
#include "registration_pipe_security.h"
#include "registration_thread.h"
#include "temp_files.h"

namespace {

using zvu::test::ChildProcess;
using zvu::test::LinesStartingWith;
using zvu::test::LogCapture;
using zvu::test::Occurrences;
using zvu::test::WaitRegistered;
using zvu::test::WaitUntil;

const bool g_childrenOffTheOutput = zvu::test::KeepChildrenOffTheOutput();

std::string TestName() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

bool PipeServed() {
  return WaitNamedPipeA(zvu::kRegistrationPipeName, 0) != FALSE ||
         GetLastError() == ERROR_SEM_TIMEOUT;
}

// Test clients of one test and their shared record.
class Clients {
 public:
  Clients() : record_(zvu::test::TempFilePath("zvu_registration_" + TestName() + ".txt")) {}

  std::unique_ptr<ChildProcess> Start(const std::string& arguments) const {
    return std::make_unique<ChildProcess>(zvu::test::PipeClientCommand(record_, arguments));
  }
  bool WaitConnected(DWORD clientId) const { return zvu::test::WaitConnected(record_, clientId); }
  size_t Catalogues() const { return LinesStartingWith(record_, "catalogue ").size(); }
  std::string Record() const { return zvu::test::ReadWholeFile(record_); }

 private:
  std::string record_;
};

// Waits until the service log holds the refusal of each client.
bool WaitRefused(const LogCapture& log, const std::vector<DWORD>& clientIds) {
  return WaitUntil([&] {
    const std::string text = log.Text();
    for (DWORD id : clientIds) {
      if (Occurrences(text, zvu::test::RefusedRecord(id)) != 1) return false;
    }
    return true;
  }, 20000);
}

TEST(Registration, WriteEndWithExactlyTheDocumentedRightsRegistersEitherWay) {
  zvu::ClientPipeServer server;
  ASSERT_EQ(server.StartRegistrationThread(), 0);
  Clients clients;

  // Duplicated into the service, as a client run by an administrator does.
  auto duplicated = clients.Start("--mode register --access exact");
  ASSERT_TRUE(WaitRegistered(server, duplicated->Id())) << clients.Record();
  ASSERT_EQ(server.SendCatalogue("<first/>", nullptr), 0);
  EXPECT_TRUE(WaitUntil([&] { return clients.Catalogues() == 1; }, 10000));
  EXPECT_TRUE(duplicated->EndKeepingHandle());  // held, so that its exit code can be read by its id

  // Its own handle value, as a client that may not duplicate into the service sends.
  auto own = clients.Start("--mode register --send own");
  HANDLE copy = nullptr;
  ASSERT_TRUE(WaitRegistered(server, own->Id(), &copy)) << clients.Record();
  ASSERT_EQ(server.SendCatalogue("<second/>", nullptr), 0);
  EXPECT_TRUE(WaitUntil([&] { return clients.Catalogues() == 2; }, 10000)) << clients.Record();
  EXPECT_EQ(server.Clients().Count(), 1u);  // the ended client was pruned on the way
}

TEST(Registration, OwnHandleValueCountsOnlyForThePipesOwnClient) {
  LogCapture log("zvu_registration_own_value");
  zvu::ClientPipeServer server;
  ASSERT_EQ(server.StartRegistrationThread(), 0);
  Clients clients;
  auto valid = clients.Start("--mode no-read");
  HANDLE validPipe = nullptr;
  ASSERT_TRUE(WaitRegistered(server, valid->Id(), &validPipe));

  // Each stays alive, so only the refusal keeps it out.
  auto otherProcess = clients.Start("--mode no-read --send own --pid " + std::to_string(valid->Id()));
  auto zero = clients.Start("--mode no-read --send own --handle 0");
  ASSERT_TRUE(WaitRefused(log, {otherProcess->Id(), zero->Id()})) << log.Text();

  EXPECT_EQ(server.Clients().Count(), 1u);
  HANDLE held = nullptr;
  ASSERT_TRUE(server.Clients().Lookup(valid->Id(), &held));
  EXPECT_EQ(held, validPipe) << "another client replaced the valid client's pipe";
  EXPECT_FALSE(server.Clients().Lookup(otherProcess->Id(), nullptr));
  EXPECT_FALSE(server.Clients().Lookup(zero->Id(), nullptr));
}

// The server ends of the registration pipe that this process holds, found
// among its handles: pipe server ends with the registration pipe's buffer sizes.
std::vector<HANDLE> ServedInstances() {
  std::vector<HANDLE> found;
  for (uintptr_t value = 4; value < 0x10000; value += 4) {
    HANDLE handle = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0, outSize = 0, inSize = 0;
    if (GetFileType(handle) != FILE_TYPE_PIPE) continue;
    if (!GetNamedPipeInfo(handle, &flags, &outSize, &inSize, nullptr)) continue;
    if ((flags & PIPE_SERVER_END) != 0 && outSize == zvu::kRegistrationPipeOutBufferSize &&
        inSize == zvu::kRegistrationPipeInBufferSize) {
      found.push_back(handle);
    }
  }
  return found;
}

TEST(Registration, HandlesOfTheServiceItselfAreRefused) {
  LogCapture log("zvu_registration_own_handles");
  zvu::ClientPipeServer server;
  ASSERT_EQ(server.StartRegistrationThread(), 0);
  Clients clients;

  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  // Real handles of this process (the pipe server changed its access list,
  // so they are copied from the pseudo handle rather than opened).
  HANDLE process = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(),
                              &process, 0, FALSE, DUPLICATE_SAME_ACCESS));
  // A right whose bit is the one that a pipe's write access uses.
  HANDLE processWriteBit = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(),
                              &processWriteBit, PROCESS_CREATE_THREAD, FALSE, 0));

  std::vector<HANDLE> offered = {readEnd, process, processWriteBit};
  std::vector<std::unique_ptr<ChildProcess>> refused;
  for (HANDLE handle : offered) {
    refused.push_back(
        clients.Start("--mode no-read --handle " + std::to_string(zvu::HandleToWire(handle))));
  }
  std::vector<DWORD> refusedIds;
  for (const auto& client : refused) refusedIds.push_back(client->Id());
  ASSERT_TRUE(WaitRefused(log, refusedIds)) << log.Text();
  // The instance a client is served on: found once the server waits on a
  // single instance, offered by the next client, served on that very one.
  std::vector<HANDLE> instances;
  ASSERT_TRUE(WaitUntil([&] { return PipeServed() && (instances = ServedInstances()).size() == 1; },
                        5000));
  HANDLE instance = instances[0];
  refused.push_back(
      clients.Start("--mode no-read --handle " + std::to_string(zvu::HandleToWire(instance))));
  refusedIds.push_back(refused.back()->Id());
  ASSERT_TRUE(WaitRefused(log, refusedIds)) << log.Text();

  EXPECT_EQ(server.Clients().Count(), 0u) << clients.Record();
  DWORD flags = 0;
  for (HANDLE handle : offered) EXPECT_TRUE(GetHandleInformation(handle, &flags));
  for (HANDLE handle : {readEnd, writeEnd, process, processWriteBit}) CloseHandle(handle);
}

TEST(RegistrationPipe, GrantsInteractiveUsersReadAndWriteOnly) {
  zvu::ClientPipeServer server;
  ASSERT_EQ(server.StartRegistrationThread(), 0);
  HANDLE client = CreateFileA(zvu::kRegistrationPipeName, GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(client, INVALID_HANDLE_VALUE) << GetLastError();
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(client, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  CloseHandle(client);
  ASSERT_NE(dacl, nullptr);

  struct Expected {
    WELL_KNOWN_SID_TYPE sid;
    DWORD mask;
  };
  const Expected expected[] = {{WinLocalSystemSid, FILE_ALL_ACCESS},
                               {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                               {WinInteractiveSid, zvu::kInteractiveUsersPipeAccess}};
  ACL_SIZE_INFORMATION size{};
  ASSERT_TRUE(GetAclInformation(dacl, &size, sizeof(size), AclSizeInformation));
  ASSERT_EQ(size.AceCount, std::size(expected));
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, &ace));
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    ASSERT_TRUE(CreateWellKnownSid(expected[i].sid, nullptr, sid, &sidSize));
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE) << i;
    EXPECT_TRUE(EqualSid(&allowed->SidStart, sid)) << i;
    EXPECT_EQ(allowed->Mask, expected[i].mask) << i;
  }
  // Reading and writing, and never the right to create an instance of the name.
  EXPECT_EQ(zvu::kInteractiveUsersPipeAccess & FILE_CREATE_PIPE_INSTANCE, 0u);
  EXPECT_EQ(zvu::kInteractiveUsersPipeAccess & (FILE_READ_DATA | FILE_WRITE_DATA),
            static_cast<DWORD>(FILE_READ_DATA | FILE_WRITE_DATA));
  LocalFree(descriptor);
}

// Wine checks no access list on a pipe, so only the masks can show that a
// client end asks for nothing the pipes deny interactive users: an open that
// asks for GENERIC_WRITE asks for FILE_APPEND_DATA, the right to create an
// instance, and Windows checks every right asked for against the list.
TEST(RegistrationPipe, ClientEndAsksOnlyForWhatInteractiveUsersAreGranted) {
  GENERIC_MAPPING files{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                        FILE_ALL_ACCESS};
  DWORD asked = zvu::kPipeClientAccess;
  MapGenericMask(&asked, &files);
  EXPECT_EQ(asked & ~zvu::kInteractiveUsersPipeAccess, 0u) << std::hex << asked;
  EXPECT_EQ(asked & (FILE_READ_DATA | FILE_WRITE_DATA),
            static_cast<DWORD>(FILE_READ_DATA | FILE_WRITE_DATA));
  DWORD generic = GENERIC_READ | GENERIC_WRITE;
  MapGenericMask(&generic, &files);
  EXPECT_EQ(generic & ~zvu::kInteractiveUsersPipeAccess, static_cast<DWORD>(FILE_APPEND_DATA));
}

TEST(RegistrationPipe, NameHeldByAnotherServerIsTakenOnceItIsFree) {
  LogCapture log("zvu_registration_" + TestName());
  // Another server holds the name with room for one instance only.
  HANDLE squatter = CreateNamedPipeA(zvu::kRegistrationPipeName, PIPE_ACCESS_DUPLEX,
                                     PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4, 8, 200, nullptr);
  ASSERT_NE(squatter, INVALID_HANDLE_VALUE);
  zvu::ClientPipeServer server;
  ASSERT_EQ(server.StartRegistrationThread(), 0);
  ASSERT_TRUE(WaitUntil([&] { return Occurrences(log.Text(), "Registration pipe not created Err:") == 1; }, 5000))
      << log.Text();
  CloseHandle(squatter);

  ASSERT_TRUE(WaitUntil(PipeServed, zvu::kInstanceRetryLimitMs + 2000));
  Clients clients;
  auto client = clients.Start("--mode no-read");
  EXPECT_TRUE(WaitRegistered(server, client->Id())) << clients.Record();
  EXPECT_EQ(Occurrences(log.Text(), "Registration pipe created again \r\n"), 1u) << log.Text();
}

// Instance factories whose failures the tests choose.
std::atomic<int> g_nextInstancesRefused{0};

HANDLE RefuseNextInstances(bool first, SECURITY_ATTRIBUTES* security) {
  if (!first) {
    ++g_nextInstancesRefused;
    SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return INVALID_HANDLE_VALUE;
  }
  return zvu::CreateRegistrationPipeInstance(first, security);
}

std::atomic<int> g_instancesRefused{0};

HANDLE RefuseEveryInstance(bool, SECURITY_ATTRIBUTES*) {
  ++g_instancesRefused;
  SetLastError(ERROR_NO_SYSTEM_RESOURCES);
  return INVALID_HANDLE_VALUE;
}

TEST(RegistrationThread, WithoutANextInstanceTheCurrentOneServesTheNextClient) {
  LogCapture log("zvu_registration_" + TestName());
  g_nextInstancesRefused = 0;
  zvu::ClientPipeServer server(GetCurrentProcessId(), &RefuseNextInstances);
  ASSERT_EQ(server.StartRegistrationThread(), 0);
  Clients clients;
  std::vector<std::unique_ptr<ChildProcess>> started;
  for (int i = 0; i < 3; ++i) {
    started.push_back(clients.Start("--mode no-read"));
    EXPECT_TRUE(WaitRegistered(server, started.back()->Id())) << i << clients.Record();
  }
  EXPECT_GE(g_nextInstancesRefused.load(), 3);
  // One record for the run of equal failures, not one per client.
  EXPECT_EQ(Occurrences(log.Text(), "Next registration pipe not created Err:1450, current one used again \r\n"),
            1u)
      << log.Text();
  DWORD exitCode = 99;
  EXPECT_TRUE(server.StopRegistrationThread(5000, &exitCode));
  EXPECT_EQ(exitCode, static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES));
}

TEST(RegistrationThread, KeepsTryingWithoutAnInstanceAndEndsWithTheErrorOnStop) {
  LogCapture log("zvu_registration_" + TestName());
  g_instancesRefused = 0;
  zvu::ClientPipeServer server(GetCurrentProcessId(), &RefuseEveryInstance);
  ASSERT_EQ(server.StartRegistrationThread(), 0);
  // A few rounds of the growing pause go by without the thread ending; after
  // the fourth try it pauses for eight times the first pause.
  EXPECT_TRUE(WaitUntil([] { return g_instancesRefused.load() >= 4; }, 10000));
  EXPECT_EQ(Occurrences(log.Text(), "Registration pipe not created Err:1450, next try in 250 ms \r\n"), 1u)
      << log.Text();
  EXPECT_EQ(Occurrences(log.Text(), "Registration pipe not created"), 1u) << "one record per run of failures";
  const ULONGLONG stopping = GetTickCount64();
  DWORD exitCode = 0;
  EXPECT_TRUE(server.StopRegistrationThread(5000, &exitCode));
  EXPECT_LT(GetTickCount64() - stopping, 4 * zvu::kInstanceRetryFirstMs)
      << "the pause does not delay a stop";
  EXPECT_EQ(exitCode, static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES));
}

// Peers that connect and say nothing, one per exchange slot they take;
// returned once all have connected.
std::vector<std::unique_ptr<ChildProcess>> StartSilentPeers(const Clients& clients, int count) {
  std::vector<std::unique_ptr<ChildProcess>> peers;
  for (int i = 0; i < count; ++i) peers.push_back(clients.Start("--mode silent"));
  for (const auto& peer : peers) EXPECT_TRUE(clients.WaitConnected(peer->Id())) << clients.Record();
  return peers;
}

TEST(RegistrationThread, SilentConnectionsDoNotHoldUpAClientThatRegisters) {
  LogCapture log("zvu_registration_" + TestName());
  zvu::ClientPipeServer server;
  ASSERT_EQ(server.StartRegistrationThread(), 0);
  Clients clients;
  auto silent = StartSilentPeers(clients, 4);
  auto client = clients.Start("--mode no-read");
  ASSERT_TRUE(WaitRegistered(server, client->Id())) << clients.Record();
  // Served one after the other, the silent peers would have held the pipe
  // until the first of them timed out, at least.
  const std::string text = log.Text();
  const size_t registered = text.find(zvu::test::RegisteredRecord(client->Id()));
  ASSERT_NE(registered, std::string::npos) << text;
  for (const auto& peer : silent) {
    const size_t timedOut = text.find(zvu::test::IncompleteRecord(peer->Id()));
    EXPECT_TRUE(timedOut == std::string::npos || timedOut > registered) << text;
  }
}

TEST(RegistrationThread, StopEndsEveryExchangeInProgress) {
  zvu::ClientPipeServer server;
  ASSERT_EQ(server.StartRegistrationThread(), 0);
  Clients clients;
  auto silent = StartSilentPeers(clients, 6);
  const ULONGLONG stopping = GetTickCount64();
  DWORD exitCode = 99;
  EXPECT_TRUE(server.StopRegistrationThread(5000, &exitCode));
  // Well before any of the exchanges would have timed out.
  EXPECT_LT(GetTickCount64() - stopping, zvu::kRegistrationExchangeTimeoutMs / 2);
  EXPECT_EQ(exitCode, 0u);
  // The pipe name is free for the next server at once.
  zvu::ClientPipeServer next;
  ASSERT_EQ(next.StartRegistrationThread(), 0);
  EXPECT_TRUE(WaitUntil(PipeServed, 5000));
}

TEST(RegistrationThread, EveryConnectionIsLoggedWithWhatBecameOfIt) {
  LogCapture log("zvu_registration_" + TestName());
  zvu::ClientPipeServer server;
  ASSERT_EQ(server.StartRegistrationThread(), 0);
  Clients clients;
  auto valid = clients.Start("--mode no-read");
  ASSERT_TRUE(WaitRegistered(server, valid->Id())) << clients.Record();
  auto partial = clients.Start("--mode partial:3");
  auto foreign = clients.Start("--mode no-read --pid 0");
  EXPECT_TRUE(partial->WaitExit(10000));
  const std::string registered = "Client registered PID: " + std::to_string(valid->Id()) + " \r\n";
  const std::string incomplete = "Registration not completed PID: " +
                                 std::to_string(partial->Id()) + ", 3 of 8 bytes received \r\n";
  const std::string refused = "Registration refused PID: " + std::to_string(foreign->Id()) +
                              " claimed PID: 0 handle:";
  EXPECT_TRUE(WaitUntil([&] { return Occurrences(log.Text(), refused) == 1 && Occurrences(log.Text(), incomplete) == 1; },
                        10000))
      << log.Text();
  EXPECT_EQ(Occurrences(log.Text(), registered), 1u) << log.Text();
  EXPECT_EQ(server.Clients().Count(), 1u);
}

// The system's calls, with the pipe client's identification answered
// "nothing read yet" (as a system that identifies a pipe's client only from
// its messages would) a given number of times first.
class IdentifiedLate : public zvu::SystemRegistration {
 public:
  explicit IdentifiedLate(int refusals) : refusals_(refusals) {}
  std::atomic<int> asked{0};
  DWORD IdentifyPipeClient(HANDLE pipe, zvu::TokenFacts* facts) override {
    if (asked++ < refusals_) return ERROR_CANNOT_IMPERSONATE;
    return SystemRegistration::IdentifyPipeClient(pipe, facts);
  }

 private:
  const int refusals_;
};

DWORD WINAPI RunRegistration(void* state) {
  return zvu::RegisterClient(*static_cast<zvu::RegistrationState*>(state));
}

TEST(RegistrationThread, ClientNotIdentifiedAtConnectIsAskedAgainOnceItsRegistrationIsRead) {
  LogCapture log("zvu_registration_" + TestName());
  Clients clients;
  for (const int refusals : {1, 2}) {
    SCOPED_TRACE(refusals);
    auto system = std::make_shared<IdentifiedLate>(refusals);
    zvu::RegistrationState state(GetCurrentProcessId(), &zvu::CreateRegistrationPipeInstance, system);
    zvu::UniqueHandle thread(CreateThread(nullptr, 0, &RunRegistration, &state, 0, nullptr));
    ASSERT_TRUE(thread);
    auto client = clients.Start("--mode no-read");
    bool decided = WaitUntil([&] {
      return state.table.Lookup(client->Id(), nullptr) ||
             Occurrences(log.Text(), zvu::test::RefusedRecord(client->Id())) == 1;
    }, 10000);
    SetEvent(state.stopEvent.get());
    EXPECT_EQ(WaitForSingleObject(thread.get(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(decided) << log.Text();
    EXPECT_EQ(system->asked.load(), 2);
    if (refusals == 1) {
      EXPECT_TRUE(state.table.Lookup(client->Id(), nullptr)) << log.Text();
    } else {
      EXPECT_FALSE(state.table.Lookup(client->Id(), nullptr));
      EXPECT_EQ(Occurrences(log.Text(), "Registration check failed PID: " +
                                            std::to_string(client->Id()) +
                                            ": pipe client not identified Err:1368 \r\n"),
                1u)
          << log.Text();
    }
  }
}

}  // namespace
