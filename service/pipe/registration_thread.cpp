#include "registration_thread.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "connection_threads.h"
#include "grant_duplicate_access.h"
#include "pipe_protocol.h"
#include "program_log.h"
#include "registration_decision.h"
#include "registration_pipe_security.h"
#include "service_texts.h"

namespace zvu {
namespace {

bool IsStopped(const RegistrationState& state) {
  return WaitForSingleObject(state.stopEvent.get(), 0) == WAIT_OBJECT_0;
}

enum class Wait { kDone, kStopped, kTimedOut };

// Waits for an overlapped operation, the stop event or the time-out. An
// operation that did not complete is cancelled and awaited, so that its
// OVERLAPPED and buffer are free again when this returns.
Wait AwaitIo(const RegistrationState& state, HANDLE pipe, OVERLAPPED& overlapped, DWORD timeoutMs) {
  HANDLE waits[] = {overlapped.hEvent, state.stopEvent.get()};
  const DWORD result = WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
  if (result == WAIT_OBJECT_0) return Wait::kDone;
  CancelIo(pipe);
  DWORD ignored = 0;
  GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
  return result == WAIT_OBJECT_0 + 1 ? Wait::kStopped : Wait::kTimedOut;
}

DWORD RemainingMs(ULONGLONG deadline) {
  const ULONGLONG now = GetTickCount64();
  return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

// Moves exactly size bytes through the pipe, in as many parts as the
// client uses, before the deadline. False on failure, stop or time-out;
// *done says how many bytes were moved.
bool Transfer(const RegistrationState& state, HANDLE pipe, bool write, unsigned char* bytes,
              DWORD size, ULONGLONG deadline, DWORD* done) {
  *done = 0;
  UniqueHandle ioEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!ioEvent) return false;
  while (*done < size) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = ioEvent.get();
    ResetEvent(ioEvent.get());
    const BOOL started = write ? WriteFile(pipe, bytes + *done, size - *done, nullptr, &overlapped)
                               : ReadFile(pipe, bytes + *done, size - *done, nullptr, &overlapped);
    if (!started && GetLastError() != ERROR_IO_PENDING) return false;
    if (!started && AwaitIo(state, pipe, overlapped, RemainingMs(deadline)) != Wait::kDone) {
      return false;
    }
    DWORD moved = 0;
    if (!GetOverlappedResult(pipe, &overlapped, &moved, FALSE) || moved == 0) return false;
    *done += moved;
  }
  return true;
}

// Waits for a client on the instance. False when none connected (failure or stop).
bool AwaitClient(const RegistrationState& state, HANDLE pipe) {
  UniqueHandle ioEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!ioEvent) return false;
  OVERLAPPED overlapped{};
  overlapped.hEvent = ioEvent.get();
  if (ConnectNamedPipe(pipe, &overlapped)) return true;
  switch (GetLastError()) {
    case ERROR_PIPE_CONNECTED:
      return true;
    case ERROR_IO_PENDING: {
      if (AwaitIo(state, pipe, overlapped, INFINITE) != Wait::kDone) return false;
      DWORD ignored = 0;
      return GetOverlappedResult(pipe, &overlapped, &ignored, FALSE) != FALSE;
    }
    default:
      // Do not spin on an instance that cannot take clients.
      WaitForSingleObject(state.stopEvent.get(), kRegistrationPipeDefaultTimeoutMs);
      return false;
  }
}

// The pipe's client as identified the moment it has connected, while it
// surely waits for the hello: a client may close its end as soon as it has
// written its registration, and what the system still lets the service
// impersonate after that is not documented. Where the system answers the
// early question with "nothing read yet", the registration's own check asks
// again once the registration has been read. The other calls go through.
class IdentifiedAtConnect : public RegistrationSystem {
 public:
  IdentifiedAtConnect(RegistrationSystem& system, HANDLE pipe) : system_(system) {
    error_ = system_.IdentifyPipeClient(pipe, &facts_);
  }
  DWORD IdentifyPipeClient(HANDLE pipe, TokenFacts* facts) override {
    if (error_ != ERROR_CANNOT_IMPERSONATE) {
      if (error_ == 0) *facts = facts_;
      return error_;
    }
    return system_.IdentifyPipeClient(pipe, facts);
  }
  DWORD OpenClaimedProcess(DWORD processId, UniqueHandle* process) override {
    return system_.OpenClaimedProcess(processId, process);
  }
  bool HasEnded(HANDLE process) override { return system_.HasEnded(process); }
  DWORD ReadProcessToken(HANDLE process, TokenFacts* facts) override {
    return system_.ReadProcessToken(process, facts);
  }
  DWORD CopyHandle(HANDLE process, HANDLE value, UniqueHandle* copy) override {
    return system_.CopyHandle(process, value, copy);
  }

 private:
  RegistrationSystem& system_;
  TokenFacts facts_;
  DWORD error_ = 0;
};

const char* CheckText(RegistrationCheck check) {
  switch (check) {
    case RegistrationCheck::kAccepted: return "";
    case RegistrationCheck::kOtherProcess: return texts::kCheckOtherProcess;
    case RegistrationCheck::kNoProcess: return texts::kCheckNoProcess;
    case RegistrationCheck::kNotIdentified: return texts::kCheckNotIdentified;
    case RegistrationCheck::kProcessNotOpened: return texts::kCheckProcessNotOpened;
    case RegistrationCheck::kProcessEnded: return texts::kCheckProcessEnded;
    case RegistrationCheck::kTokenNotRead: return texts::kCheckTokenNotRead;
    case RegistrationCheck::kOtherUser: return texts::kCheckOtherUser;
    case RegistrationCheck::kHigherIntegrity: return texts::kCheckHigherIntegrity;
    case RegistrationCheck::kHandleNotCopied: return texts::kCheckHandleNotCopied;
    case RegistrationCheck::kNoWriteEnd: return texts::kCheckNoWriteEnd;
  }
  return "";
}

// Checks the registration and enters it when it passes; the checks run one
// registration at a time, so that exchanges served at once cannot both claim
// one handle.
RegistrationVerdict Register(RegistrationState& state, RegistrationSystem& system,
                             HANDLE servedInstance, DWORD connectedProcessId,
                             DWORD claimedProcessId, HANDLE handleValue) {
  std::lock_guard<std::mutex> guard(state.registering);
  return CheckAndRegister(state.table, system, state.serviceProcessId, servedInstance,
                          connectedProcessId, claimedProcessId, handleValue);
}

// One client's exchange on a connected instance: hello out, registration in.
void Exchange(RegistrationState& state, HANDLE pipe) {
  const ULONGLONG deadline = GetTickCount64() + kRegistrationExchangeTimeoutMs;
  // Asked while the client is surely connected; it may close its end as
  // soon as it has written its registration.
  ULONG connectedProcessId = 0;
  if (!GetNamedPipeClientProcessId(pipe, &connectedProcessId)) connectedProcessId = 0;
  IdentifiedAtConnect system(*state.system, pipe);

  const int pid = static_cast<int>(connectedProcessId);
  unsigned char hello[kHelloSize];
  PutUint32(hello, state.serviceProcessId);
  DWORD moved = 0;
  if (!Transfer(state, pipe, true, hello, kHelloSize, deadline, &moved)) {
    if (!IsStopped(state)) {
      ProgramLog::Printf(texts::kRegistrationIncomplete, pid, 0, static_cast<int>(kRegistrationSize));
    }
    return;
  }

  unsigned char registration[kRegistrationSize] = {};
  if (!Transfer(state, pipe, false, registration, kRegistrationSize, deadline, &moved)) {
    if (!IsStopped(state)) {
      ProgramLog::Printf(texts::kRegistrationIncomplete, pid, static_cast<int>(moved),
                         static_cast<int>(kRegistrationSize));
    }
    return;
  }
  const DWORD claimedProcessId = GetUint32(registration);
  const uint32_t handleValue = GetUint32(registration + 4);
  const RegistrationVerdict verdict =
      Register(state, system, pipe, connectedProcessId, claimedProcessId, HandleFromWire(handleValue));
  if (verdict.check == RegistrationCheck::kAccepted) {
    ProgramLog::Printf(texts::kClientRegistered, static_cast<int>(claimedProcessId));
  } else {
    ProgramLog::Printf(texts::kRegistrationCheckFailed, pid, CheckText(verdict.check),
                       static_cast<int>(verdict.error));
    ProgramLog::Printf(texts::kRegistrationRefused, pid, static_cast<int>(claimedProcessId),
                       static_cast<int>(handleValue));
  }
}

static_assert(kMaxConcurrentExchanges < MAXIMUM_WAIT_OBJECTS);

// Writes the records of failed instance creations: the first of a run of
// failures and any whose error differs, then one when an instance is made again.
class CreationFailures {
 public:
  void InstanceFailed(DWORD error, DWORD retryMs) {
    if (Note(error)) {
      ProgramLog::Printf(texts::kPipeNotCreated, static_cast<int>(error), static_cast<int>(retryMs));
    }
  }
  void NextInstanceFailed(DWORD error) {
    if (Note(error)) ProgramLog::Printf(texts::kNextPipeNotCreated, static_cast<int>(error));
  }
  void Created() {
    if (outstanding_) ProgramLog::Write(texts::kPipeCreatedAgain);
    outstanding_ = false;
    lastError_ = 0;
  }
  // The error of the last failure not followed by a creation, else 0.
  DWORD Outstanding() const { return outstanding_ ? lastError_ : 0; }

 private:
  bool Note(DWORD error) {
    const bool changed = !outstanding_ || error != lastError_;
    outstanding_ = true;
    lastError_ = error;
    return changed;
  }

  bool outstanding_ = false;
  DWORD lastError_ = 0;
};

}  // namespace

DWORD RegisterClient(RegistrationState& state) {
  RegistrationPipeSecurity security;
  if (security.Attributes() == nullptr) {
    ProgramLog::Printf(texts::kPipeSecurityNotBuilt, static_cast<int>(security.Error()));
  }
  CreationFailures failures;
  // Waits, when the thread ends, for the exchanges it started.
  ConnectionThreads exchanges;
  DWORD retryMs = kInstanceRetryFirstMs;
  bool firstAttempt = true;
  UniqueFileHandle pipe;
  while (!IsStopped(state)) {
    if (!pipe) {
      // Holding no instance, the thread makes the first of the name, so that
      // it never joins a pipe that another process serves.
      GrantDuplicateAccess(state.serviceProcessId);
      pipe.reset(state.createInstance(true, security.Attributes()));
      const DWORD error = pipe ? 0 : GetLastError();
      if (firstAttempt) SetEvent(state.firstInstanceTried.get());
      firstAttempt = false;
      if (!pipe) {
        failures.InstanceFailed(error, retryMs);
        WaitForSingleObject(state.stopEvent.get(), retryMs);
        retryMs = std::min(retryMs * 2, kInstanceRetryLimitMs);
        continue;
      }
      failures.Created();
      retryMs = kInstanceRetryFirstMs;
    }
    // With the most exchanges running, the instance waits: a client that
    // connects meanwhile gets its hello once one of them has ended.
    exchanges.AwaitRoom(kMaxConcurrentExchanges, state.stopEvent.get());
    if (IsStopped(state)) break;
    const bool connected = AwaitClient(state, pipe.get());
    if (IsStopped(state)) break;
    // The next instance is created before this one goes to its exchange (or
    // is dropped), so that a waiting client never finds the pipe name
    // missing and one slow client holds up nobody else.
    GrantDuplicateAccess(state.serviceProcessId);
    UniqueFileHandle next(state.createInstance(false, security.Attributes()));
    if (next) {
      failures.Created();
      // On success the exchange thread owns the instance and closes it.
      if (!connected || !exchanges.Start(pipe, [&state](HANDLE instance) { Exchange(state, instance); })) {
        if (connected) Exchange(state, pipe.get());
        DisconnectNamedPipe(pipe.get());
      }
      pipe = std::move(next);
      continue;
    }
    failures.NextInstanceFailed(GetLastError());
    // The instance at hand serves this client, then takes the next one once
    // it is free again.
    if (connected) Exchange(state, pipe.get());
    if (IsStopped(state)) break;
    if (!DisconnectNamedPipe(pipe.get())) pipe.reset();
  }
  return failures.Outstanding();
}

}  // namespace zvu
