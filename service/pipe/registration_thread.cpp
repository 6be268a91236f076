#include "registration_thread.h"

#include <algorithm>

#include "grant_duplicate_access.h"
#include "handle_from_client.h"
#include "pipe_protocol.h"
#include "program_log.h"
#include "registration_check.h"
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
// client uses, before the deadline. False on failure, stop or time-out.
bool Transfer(const RegistrationState& state, HANDLE pipe, bool write, unsigned char* bytes,
              DWORD size, ULONGLONG deadline) {
  UniqueHandle ioEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!ioEvent) return false;
  DWORD done = 0;
  while (done < size) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = ioEvent.get();
    ResetEvent(ioEvent.get());
    const BOOL started = write ? WriteFile(pipe, bytes + done, size - done, nullptr, &overlapped)
                               : ReadFile(pipe, bytes + done, size - done, nullptr, &overlapped);
    if (!started && GetLastError() != ERROR_IO_PENDING) return false;
    if (!started && AwaitIo(state, pipe, overlapped, RemainingMs(deadline)) != Wait::kDone) {
      return false;
    }
    DWORD moved = 0;
    if (!GetOverlappedResult(pipe, &overlapped, &moved, FALSE) || moved == 0) return false;
    done += moved;
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

// Enters the registration when its handle value names an acceptable write
// end, in this process or else in the client's.
void Register(RegistrationState& state, HANDLE servedInstance, DWORD connectedProcessId,
              DWORD claimedProcessId, HANDLE handleValue) {
  // A client speaks only for itself.
  if (connectedProcessId != 0 && claimedProcessId != connectedProcessId) return;
  if (IsAcceptableRegistration(state.table, state.serviceProcessId, servedInstance,
                               claimedProcessId, handleValue)) {
    state.table.InsertOrReplace(claimedProcessId, handleValue);
    return;
  }
  if (connectedProcessId == 0) return;  // the value cannot be tied to a process
  UniqueHandle copy = CopyHandleFromClient(connectedProcessId, handleValue);
  if (!copy) return;
  if (IsAcceptableRegistration(state.table, state.serviceProcessId, servedInstance,
                               claimedProcessId, copy.get())) {
    state.table.InsertOrReplace(claimedProcessId, copy.release());
  }
  // A refused copy is ours, and closed here.
}

// One client's exchange on a connected instance: hello out, registration in.
void Exchange(RegistrationState& state, HANDLE pipe) {
  const ULONGLONG deadline = GetTickCount64() + kRegistrationExchangeTimeoutMs;
  // Asked while the client is surely connected; it may close its end as
  // soon as it has written its registration.
  ULONG connectedProcessId = 0;
  if (!GetNamedPipeClientProcessId(pipe, &connectedProcessId)) connectedProcessId = 0;

  unsigned char hello[kHelloSize];
  PutUint32(hello, state.serviceProcessId);
  if (!Transfer(state, pipe, true, hello, kHelloSize, deadline)) return;

  unsigned char registration[kRegistrationSize] = {};
  if (!Transfer(state, pipe, false, registration, kRegistrationSize, deadline)) return;
  Register(state, pipe, connectedProcessId, GetUint32(registration),
           HandleFromWire(GetUint32(registration + 4)));
}

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
    // Clients are served one after another; one arriving meanwhile finds
    // the instance busy and waits for the pipe.
    if (AwaitClient(state, pipe.get())) Exchange(state, pipe.get());
    if (IsStopped(state)) break;
    // A failed exchange drops only this client's instance. The next one is
    // created before this one goes, so that a waiting client never finds
    // the pipe name missing.
    GrantDuplicateAccess(state.serviceProcessId);
    UniqueFileHandle next(state.createInstance(false, security.Attributes()));
    if (next) {
      failures.Created();
      DisconnectNamedPipe(pipe.get());
      pipe = std::move(next);
      continue;
    }
    failures.NextInstanceFailed(GetLastError());
    // The instance at hand takes the next client once it is free again.
    if (!DisconnectNamedPipe(pipe.get())) pipe.reset();
  }
  return failures.Outstanding();
}

}  // namespace zvu
