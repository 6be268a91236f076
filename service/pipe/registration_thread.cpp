#include "registration_thread.h"

#include "grant_duplicate_access.h"
#include "pipe_protocol.h"
#include "registration_check.h"

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

// One client's exchange on a connected instance: hello out, registration in.
void Exchange(RegistrationState& state, HANDLE pipe) {
  const ULONGLONG deadline = GetTickCount64() + kRegistrationExchangeTimeoutMs;
  unsigned char hello[kHelloSize];
  PutUint32(hello, state.serviceProcessId);
  if (!Transfer(state, pipe, true, hello, kHelloSize, deadline)) return;

  unsigned char registration[kRegistrationSize] = {};
  if (!Transfer(state, pipe, false, registration, kRegistrationSize, deadline)) return;
  const DWORD clientProcessId = GetUint32(registration);
  const HANDLE clientPipe = HandleFromWire(GetUint32(registration + 4));
  if (IsAcceptableRegistration(state.table, state.serviceProcessId, clientProcessId, clientPipe)) {
    state.table.InsertOrReplace(clientProcessId, clientPipe);
  }
}

UniqueFileHandle CreateInstance() {
  return UniqueFileHandle(CreateNamedPipeA(
      kRegistrationPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, kRegistrationPipeMaxInstances,
      kRegistrationPipeOutBufferSize, kRegistrationPipeInBufferSize,
      kRegistrationPipeDefaultTimeoutMs, nullptr));
}

}  // namespace

DWORD RegisterClient(RegistrationState& state) {
  GrantDuplicateAccess(state.serviceProcessId);
  UniqueFileHandle pipe = CreateInstance();
  const DWORD createError = pipe ? 0 : GetLastError();
  SetEvent(state.firstInstanceTried.get());
  if (!pipe) return createError;
  while (!IsStopped(state)) {
    // Clients are served one after another; one arriving meanwhile finds
    // the instance busy and waits for the pipe.
    if (AwaitClient(state, pipe.get())) Exchange(state, pipe.get());
    // A failed exchange drops only this client's instance. The next one is
    // created before this one goes, so that a waiting client never finds
    // the pipe name missing.
    GrantDuplicateAccess(state.serviceProcessId);
    UniqueFileHandle next = CreateInstance();
    DisconnectNamedPipe(pipe.get());
    pipe = std::move(next);
    if (!pipe) return GetLastError();
  }
  return 0;
}

}  // namespace zvu
