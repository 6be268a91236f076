// The registration's checks, their order and where each one stops: through a
// stand-in for the system calls, and with the system's own calls where Wine
// can show them (an ended process, the service's own process, a handle
// that is valid in the service, the identification of a pipe's client).
#include "registration_decision.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "pipe_test_clients.h"
#include "registration_system.h"
#include "unique_handle.h"

namespace {

using zvu::RegistrationCheck;
using zvu::TokenFacts;
using zvu::test::ChildProcess;

const bool g_childrenOffTheOutput = zvu::test::KeepChildrenOffTheOutput();

constexpr DWORD kServiceId = 4000;
constexpr DWORD kClientId = 4100;
constexpr DWORD kMedium = SECURITY_MANDATORY_MEDIUM_RID;
constexpr DWORD kHigh = SECURITY_MANDATORY_HIGH_RID;

std::vector<BYTE> Sid(WELL_KNOWN_SID_TYPE type) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  CreateWellKnownSid(type, nullptr, sid.data(), &size);
  sid.resize(size);
  return sid;
}

TokenFacts Facts(WELL_KNOWN_SID_TYPE user, DWORD integrity, bool administrator = false) {
  return TokenFacts{Sid(user), integrity, administrator};
}

// A pipe whose write end carries exactly what Windows gives a write end.
// Whether a handle to it was closed is seen from the read end.
struct WriteEnd {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  WriteEnd() {
    HANDLE generous = nullptr;
    CreatePipe(&read, &generous, nullptr, 0);
    DuplicateHandle(GetCurrentProcess(), generous, GetCurrentProcess(), &write,
                    GENERIC_WRITE | SYNCHRONIZE, FALSE, 0);
    CloseHandle(generous);
  }
  ~WriteEnd() {
    CloseHandle(read);
    if (write != nullptr) CloseHandle(write);
  }
  HANDLE Copy() const {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), write, GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    return copy;
  }
  // True once no write end of the pipe is open any more.
  bool Broken() const { return zvu::test::PipeBroken(read); }
};

// Answers as told and notes each call.
class ScriptedSystem : public zvu::RegistrationSystem {
 public:
  std::vector<std::string> calls;
  DWORD identifyError = 0;
  TokenFacts client = Facts(WinLocalSid, kMedium);
  DWORD openError = 0;
  bool ended = false;
  DWORD tokenError = 0;
  TokenFacts owner = Facts(WinLocalSid, kMedium);
  DWORD copyError = 0;
  HANDLE copyGives = nullptr;  // handed out (owned by the caller) on a copy

  DWORD IdentifyPipeClient(HANDLE, TokenFacts* facts) override {
    calls.push_back("identify");
    if (identifyError == 0) *facts = client;
    return identifyError;
  }
  DWORD OpenClaimedProcess(DWORD processId, zvu::UniqueHandle* process) override {
    calls.push_back("open " + std::to_string(processId));
    if (openError != 0) return openError;
    // Any real handle stands for the process; it must reach the later calls.
    process->reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    opened_ = process->get();
    return 0;
  }
  bool HasEnded(HANDLE process) override {
    calls.push_back(process == opened_ ? "ended?" : "ended? (other handle)");
    return ended;
  }
  DWORD ReadProcessToken(HANDLE process, TokenFacts* facts) override {
    calls.push_back(process == opened_ ? "token" : "token (other handle)");
    if (tokenError == 0) *facts = owner;
    return tokenError;
  }
  DWORD CopyHandle(HANDLE process, HANDLE, zvu::UniqueHandle* copy) override {
    calls.push_back(process == opened_ ? "copy" : "copy (other handle)");
    if (copyError != 0) return copyError;
    copy->reset(copyGives);
    copyGives = nullptr;
    return 0;
  }

 private:
  HANDLE opened_ = nullptr;
};

using Calls = std::vector<std::string>;
const std::string kOpen = "open " + std::to_string(kClientId);

class RegistrationChecks : public ::testing::Test {
 protected:
  zvu::RegistrationVerdict Check(HANDLE value, DWORD connected = kClientId,
                                 DWORD claimed = kClientId) {
    return zvu::CheckAndRegister(table_, system_, kServiceId, nullptr, connected, claimed, value);
  }

  zvu::ClientTable table_;
  ScriptedSystem system_;
};

TEST_F(RegistrationChecks, StandardUsersHandleIsCopiedFromItsProcessAfterEveryCheck) {
  WriteEnd inClient;
  system_.copyGives = inClient.Copy();
  const HANDLE copy = system_.copyGives;
  const zvu::RegistrationVerdict verdict = Check(reinterpret_cast<HANDLE>(0x1234));
  EXPECT_EQ(verdict.check, RegistrationCheck::kAccepted);
  EXPECT_EQ(system_.calls, (Calls{"identify", kOpen, "ended?", "token", "copy"}));
  HANDLE held = nullptr;
  ASSERT_TRUE(table_.Lookup(kClientId, &held));
  EXPECT_EQ(held, copy);
}

TEST_F(RegistrationChecks, EachFailedCheckEndsTheRegistrationBeforeTheNextCall) {
  struct Case {
    const char* name;
    void (*arrange)(ScriptedSystem&);
    RegistrationCheck check;
    DWORD error;
    Calls calls;
  };
  const Case cases[] = {
      {"not identified", [](ScriptedSystem& s) { s.identifyError = ERROR_CANNOT_IMPERSONATE; },
       RegistrationCheck::kNotIdentified, ERROR_CANNOT_IMPERSONATE, {"identify"}},
      {"not opened", [](ScriptedSystem& s) { s.openError = ERROR_INVALID_PARAMETER; },
       RegistrationCheck::kProcessNotOpened, ERROR_INVALID_PARAMETER, {"identify", kOpen}},
      {"ended", [](ScriptedSystem& s) { s.ended = true; }, RegistrationCheck::kProcessEnded, 0,
       {"identify", kOpen, "ended?"}},
      {"token not read", [](ScriptedSystem& s) { s.tokenError = ERROR_ACCESS_DENIED; },
       RegistrationCheck::kTokenNotRead, ERROR_ACCESS_DENIED, {"identify", kOpen, "ended?", "token"}},
      {"other user", [](ScriptedSystem& s) { s.owner = Facts(WinLocalSystemSid, kMedium); },
       RegistrationCheck::kOtherUser, 0, {"identify", kOpen, "ended?", "token"}},
      // A process id taken over by an elevated process of the same user.
      {"higher integrity", [](ScriptedSystem& s) { s.owner.integrityLevel = kHigh; },
       RegistrationCheck::kHigherIntegrity, 0, {"identify", kOpen, "ended?", "token"}},
      {"not copied", [](ScriptedSystem& s) { s.copyError = ERROR_INVALID_HANDLE; },
       RegistrationCheck::kHandleNotCopied, ERROR_INVALID_HANDLE,
       {"identify", kOpen, "ended?", "token", "copy"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedSystem system;
    c.arrange(system);
    zvu::ClientTable table;
    const zvu::RegistrationVerdict verdict = zvu::CheckAndRegister(
        table, system, kServiceId, nullptr, kClientId, kClientId, reinterpret_cast<HANDLE>(0x1234));
    EXPECT_EQ(verdict.check, c.check);
    EXPECT_EQ(verdict.error, c.error);
    EXPECT_EQ(system.calls, c.calls);
    EXPECT_EQ(table.Count(), 0u);
  }
}

TEST_F(RegistrationChecks, ClaimsForAnotherProcessOrTheServiceAreRefusedBeforeAnyCall) {
  EXPECT_EQ(Check(nullptr, kClientId, kClientId + 4).check, RegistrationCheck::kOtherProcess);
  EXPECT_EQ(Check(nullptr, 0, kServiceId).check, RegistrationCheck::kNoProcess);
  EXPECT_EQ(Check(nullptr, 0, 0).check, RegistrationCheck::kNoProcess);
  EXPECT_TRUE(system_.calls.empty());
  // Without the pipe's word on who connected, only an administrator's handle
  // in the service can be taken; a value of the client's cannot be tied to it.
  EXPECT_EQ(Check(reinterpret_cast<HANDLE>(0x1234), 0, kClientId).check,
            RegistrationCheck::kOtherProcess);
  EXPECT_EQ(system_.calls, (Calls{"identify", kOpen, "ended?"}));
}

TEST_F(RegistrationChecks, ProcessAtOrBelowTheClientsIntegrityLevelPasses) {
  for (DWORD level : {kMedium, static_cast<DWORD>(SECURITY_MANDATORY_LOW_RID)}) {
    ScriptedSystem system;
    system.owner.integrityLevel = level;
    WriteEnd inClient;
    system.copyGives = inClient.Copy();
    zvu::ClientTable table;
    EXPECT_EQ(zvu::CheckAndRegister(table, system, kServiceId, nullptr, kClientId, kClientId,
                                    reinterpret_cast<HANDLE>(0x1234)).check,
              RegistrationCheck::kAccepted)
        << level;
  }
}

TEST_F(RegistrationChecks, HandleOfTheServiceIsTakenOnlyFromAnAdministrator) {
  WriteEnd inService;
  // A standard user's value is looked for in its own process only; here it
  // names nothing there.
  system_.copyError = ERROR_INVALID_HANDLE;
  EXPECT_EQ(Check(inService.write).check, RegistrationCheck::kHandleNotCopied);
  EXPECT_EQ(table_.Count(), 0u);

  // An administrator could have duplicated it into the service: no token or
  // copy is needed then.
  system_.calls.clear();
  system_.client.administrator = true;
  EXPECT_EQ(Check(inService.write).check, RegistrationCheck::kAccepted);
  EXPECT_EQ(system_.calls, (Calls{"identify", kOpen, "ended?"}));
  HANDLE held = nullptr;
  ASSERT_TRUE(table_.Lookup(kClientId, &held));
  EXPECT_EQ(held, inService.write);
  inService.write = nullptr;  // the table's now
}

TEST_F(RegistrationChecks, CopyThatIsNoWriteEndIsClosedAndRefused) {
  WriteEnd pipe;
  HANDLE readEnd = nullptr;  // a read end: the service must never take it
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), pipe.read, GetCurrentProcess(), &readEnd, 0,
                              FALSE, DUPLICATE_SAME_ACCESS));
  system_.copyGives = readEnd;
  EXPECT_EQ(Check(reinterpret_cast<HANDLE>(0x1234)).check, RegistrationCheck::kNoWriteEnd);
  EXPECT_EQ(table_.Count(), 0u);
  // The refused copy was closed: with it and the test's own read end gone,
  // the write end finds no reader.
  CloseHandle(pipe.read);
  pipe.read = nullptr;
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(pipe.write, "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_DATA));
}

// The system's own calls, with the pipe's client standing for this process.
class OwnProcessAsClient : public zvu::SystemRegistration {
 public:
  bool administrator = true;
  DWORD IdentifyPipeClient(HANDLE, TokenFacts* facts) override {
    HANDLE primary = nullptr;
    HANDLE impersonation = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &primary)) {
      return GetLastError();
    }
    const BOOL duplicated = DuplicateToken(primary, SecurityIdentification, &impersonation);
    CloseHandle(primary);
    if (!duplicated) return GetLastError();
    const DWORD error = zvu::ReadTokenFacts(impersonation, true, facts);
    CloseHandle(impersonation);
    facts->administrator = facts->administrator && administrator;
    return error;
  }
};

// A live process of this user that never runs.
std::unique_ptr<ChildProcess> SuspendedChild() {
  auto child = std::make_unique<ChildProcess>();
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  EXPECT_TRUE(child->Start(zvu::test::Quote(path), CREATE_SUSPENDED));
  return child;
}

TEST(RegistrationChecksOnWine, EndedProcessAndTheServiceItselfAreRefused) {
  OwnProcessAsClient system;
  zvu::ClientTable table;
  WriteEnd pipe;
  auto ended = SuspendedChild();
  // Held open, so that its id still names the ended process.
  ASSERT_TRUE(ended->EndKeepingHandle());
  EXPECT_EQ(zvu::CheckAndRegister(table, system, GetCurrentProcessId(), nullptr, ended->Id(),
                                  ended->Id(), pipe.write).check,
            RegistrationCheck::kProcessEnded);
  EXPECT_EQ(zvu::CheckAndRegister(table, system, GetCurrentProcessId(), nullptr,
                                  GetCurrentProcessId(), GetCurrentProcessId(), pipe.write).check,
            RegistrationCheck::kNoProcess);
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_FALSE(pipe.Broken());
}

TEST(RegistrationChecksOnWine, HandleValidInTheServiceNeedsAnEnabledAdministratorsGroup) {
  OwnProcessAsClient system;
  auto client = SuspendedChild();
  WriteEnd inService;

  system.administrator = false;
  zvu::ClientTable table;
  const zvu::RegistrationVerdict refused = zvu::CheckAndRegister(
      table, system, GetCurrentProcessId(), nullptr, client->Id(), client->Id(), inService.write);
  // Looked for in the client's process, where the value names no write end.
  EXPECT_NE(refused.check, RegistrationCheck::kAccepted);
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_FALSE(inService.Broken()) << "a handle of the service was closed";

  // This process runs as an administrator under Wine.
  system.administrator = true;
  EXPECT_EQ(zvu::CheckAndRegister(table, system, GetCurrentProcessId(), nullptr, client->Id(),
                                  client->Id(), inService.write).check,
            RegistrationCheck::kAccepted);
  inService.write = nullptr;  // the table's now
  EXPECT_EQ(table.Count(), 1u);
}

TEST(RegistrationChecksOnWine, PipeClientIsIdentifiedAndTheCallerWearsNoTokenAfterwards) {
  const std::string name =
      "\\\\.\\pipe\\zvu_identify_" + std::to_string(GetCurrentProcessId());
  zvu::UniqueFileHandle server(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX,
                                                PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4, 8, 0, nullptr));
  ASSERT_TRUE(server);
  // The client allows identification only, as the client program does.
  zvu::UniqueFileHandle client(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING,
                                           SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
  ASSERT_TRUE(client);
  DWORD moved = 0;
  ASSERT_TRUE(WriteFile(client.get(), "r", 1, &moved, nullptr));
  char byte = 0;
  // Impersonation takes the context of the last message read.
  ASSERT_TRUE(ReadFile(server.get(), &byte, 1, &moved, nullptr));

  zvu::SystemRegistration system;
  TokenFacts facts;
  ASSERT_EQ(system.IdentifyPipeClient(server.get(), &facts), 0u);
  TokenFacts own;
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  EXPECT_EQ(zvu::ReadTokenFacts(token, false, &own), 0u);
  CloseHandle(token);
  EXPECT_TRUE(zvu::SameUser(facts, own));
  EXPECT_EQ(facts.integrityLevel, own.integrityLevel);
  EXPECT_TRUE(facts.administrator);  // Wine runs every process as an administrator
  HANDLE threadToken = nullptr;
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &threadToken));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));

  // A primary token cannot answer the group question; asked anyway, the
  // read fails rather than report a standard user.
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  TokenFacts unanswered;
  EXPECT_NE(zvu::ReadTokenFacts(token, true, &unanswered), 0u);
  CloseHandle(token);
}

}  // namespace
