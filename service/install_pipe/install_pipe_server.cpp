#include "install_pipe_server.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <vector>

#include "connection_threads.h"
#include "install_pipe_protocol.h"
#include "install_requester.h"
#include "program_log.h"
#include "registration_pipe_security.h"
#include "service_texts.h"

namespace zvu {

struct InstallPipeState {
  InstallPipeState(std::string name, InstallFunction installIn,
                   std::shared_ptr<InstallCatalogueSource> sourceIn)
      : pipeName(std::move(name)), install(std::move(installIn)), source(std::move(sourceIn)) {}

  const std::string pipeName;
  const InstallFunction install;
  const std::shared_ptr<InstallCatalogueSource> source;
  UniqueHandle stopEvent{CreateEventA(nullptr, TRUE, FALSE, nullptr)};  // manual reset
  // Manual reset; set once the thread has tried to create its first instance.
  UniqueHandle firstInstanceTried{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  // Held by the connection whose installation runs; others only try it.
  std::mutex installing;
};

namespace {

constexpr DWORD kInstallPipeBufferSize = 512;
constexpr DWORD kFirstInstanceWaitMs = 2000;
// A client beyond kMaxInstallConnections is answered on the pipe's own
// thread, which waits this long for the answer to go and be read.
constexpr DWORD kBusyAnswerTimeoutMs = 1000;

bool IsStopped(const InstallPipeState& state) {
  return WaitForSingleObject(state.stopEvent.get(), 0) == WAIT_OBJECT_0;
}

// One overlapped operation on a server end, bounded by a deadline and the
// stop event. An operation that does not complete in time is cancelled and
// awaited, so that its buffer is free again when this returns. True when it
// completed; *moved and the last error are those of its result.
class PipeIo {
 public:
  explicit PipeIo(const InstallPipeState& state)
      : state_(state), event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

  bool Read(HANDLE pipe, void* buffer, DWORD size, DWORD timeoutMs, DWORD* moved) {
    return Run(pipe, false, buffer, size, timeoutMs, moved);
  }
  bool Write(HANDLE pipe, const std::string& message, DWORD timeoutMs) {
    DWORD moved = 0;
    return Run(pipe, true, const_cast<char*>(message.data()), static_cast<DWORD>(message.size()),
               timeoutMs, &moved) &&
           moved == message.size();
  }

 private:
  bool Run(HANDLE pipe, bool write, void* buffer, DWORD size, DWORD timeoutMs, DWORD* moved) {
    *moved = 0;
    if (!event_) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_.get();
    ResetEvent(event_.get());
    const BOOL started = write ? WriteFile(pipe, buffer, size, nullptr, &overlapped)
                               : ReadFile(pipe, buffer, size, nullptr, &overlapped);
    if (!started && GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA) {
      return false;
    }
    HANDLE waits[] = {event_.get(), state_.stopEvent.get()};
    if (WaitForMultipleObjects(2, waits, FALSE, timeoutMs) != WAIT_OBJECT_0) {
      CancelIo(pipe);
      GetOverlappedResult(pipe, &overlapped, moved, TRUE);
      SetLastError(IsStopped(state_) ? ERROR_OPERATION_ABORTED : ERROR_TIMEOUT);
      return false;
    }
    return GetOverlappedResult(pipe, &overlapped, moved, FALSE) != FALSE;
  }

  const InstallPipeState& state_;
  UniqueHandle event_;
};

const char* FaultName(RequestFault fault) {
  switch (fault) {
    case RequestFault::kEmpty: return texts::kRequestFaultEmpty;
    case RequestFault::kUnknownKind: return texts::kRequestFaultUnknownKind;
    case RequestFault::kBadName: return texts::kRequestFaultBadName;
    case RequestFault::kTrailingBytes: return texts::kRequestFaultTrailingBytes;
    case RequestFault::kBadLength:
    case RequestFault::kNone: break;
  }
  return texts::kRequestFaultBadLength;
}

InstallResultCode ResultOf(ServiceInstallOutcome outcome, const char** name) {
  switch (outcome) {
    case ServiceInstallOutcome::kInstalled:
      *name = texts::kInstallOutcomeInstalled;
      return InstallResultCode::kInstalled;
    case ServiceInstallOutcome::kInstallFailed:
      *name = texts::kInstallOutcomeFailed;
      return InstallResultCode::kInstallFailed;
    case ServiceInstallOutcome::kDownloadFailed:
      *name = texts::kInstallOutcomeDownloadFailed;
      return InstallResultCode::kDownloadFailed;
    case ServiceInstallOutcome::kDigestMismatch:
      *name = texts::kInstallOutcomeDigestMismatch;
      return InstallResultCode::kDigestMismatch;
    case ServiceInstallOutcome::kFolderUnsafe:
      *name = texts::kInstallOutcomeFolderUnsafe;
      return InstallResultCode::kServiceError;
    case ServiceInstallOutcome::kAbandoned:
      break;
  }
  *name = texts::kInstallOutcomeAbandoned;
  return InstallResultCode::kServiceError;
}

// Relays an installation's progress to the client as answers. A client that
// does not take an answer within kInstallAnswerTimeoutMs, or whose end has
// closed, has abandoned the request, as has every request once the service
// stops.
class PipeProgress final : public ServiceInstallProgress {
 public:
  PipeProgress(const InstallPipeState& state, HANDLE pipe) : state_(state), pipe_(pipe) {}

  void Received(uint64_t bytes, uint64_t total) override {
    const ULONGLONG now = GetTickCount64();
    const bool whole = total != 0 && bytes >= total;
    if (!whole && sentAny_ && now - lastSent_ < kInstallProgressIntervalMs) return;
    sentAny_ = true;
    lastSent_ = now;
    Send(EncodeReceivedAnswer(bytes, total));
  }
  void Installing() override { Send(EncodeInstallingAnswer()); }
  bool Abandoned() override {
    if (gone_ || IsStopped(state_)) return true;
    // A client whose end has closed makes the peek fail (broken pipe).
    if (!PeekNamedPipe(pipe_, nullptr, 0, nullptr, nullptr, nullptr)) gone_ = true;
    return gone_;
  }

 private:
  void Send(const std::string& answer) {
    std::lock_guard<std::mutex> guard(lock_);
    if (gone_) return;
    PipeIo io(state_);
    if (!io.Write(pipe_, answer, kInstallAnswerTimeoutMs)) gone_ = true;
  }

  const InstallPipeState& state_;
  HANDLE pipe_;
  std::mutex lock_;  // one answer at a time, whichever thread reports
  std::atomic<bool> gone_{false};
  bool sentAny_ = false;  // Received is called on the installing thread only
  ULONGLONG lastSent_ = 0;
};

// Sends the last answer and waits (bounded) until the client has closed its
// end, which it does once it has read the answer: disconnecting earlier
// would discard an answer still unread.
void Finish(PipeIo& io, HANDLE pipe, InstallResultCode result, DWORD writeTimeoutMs,
            DWORD closeWaitMs = kInstallCloseWaitMs) {
  if (!io.Write(pipe, EncodeResultAnswer(result), writeTimeoutMs)) return;
  // Whatever the client still sends (the rest of an overlong request, a
  // request not read at all) is read and dropped until its end closes.
  const ULONGLONG deadline = GetTickCount64() + closeWaitMs;
  char ignored[64];
  DWORD moved = 0;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return;
    if (!io.Read(pipe, ignored, sizeof(ignored), static_cast<DWORD>(deadline - now), &moved) &&
        GetLastError() != ERROR_MORE_DATA) {
      return;
    }
  }
}

// What becomes of a well-formed request: refused (and logged), or installed
// while progress goes to the client.
InstallResultCode Fulfil(InstallPipeState& state, HANDLE pipe, const InstallRequest& request,
                         const InstallRequester& requester) {
  const std::string version = request.version.ToText();
  const char* product = request.product.c_str();
  const char* user = requester.account.c_str();
  if (!requester.Allowed()) {
    ProgramLog::Printf(texts::kInstallNotAllowed, product, version.c_str(), user);
    return InstallResultCode::kNotAllowed;
  }
  UpdateEntry entry;
  switch (FindRequestedUpdate(*state.source, request, state.stopEvent.get(), &entry)) {
    case LookupOutcome::kNotListed:
      ProgramLog::Printf(texts::kInstallNotListed, product, version.c_str(), user);
      return InstallResultCode::kNotListed;
    case LookupOutcome::kNoDigest:
      ProgramLog::Printf(texts::kInstallRequestNoDigest, product, version.c_str(), user);
      return InstallResultCode::kNoDigest;
    case LookupOutcome::kNotApplicable:
      ProgramLog::Printf(texts::kInstallNotApplicable, product, version.c_str(), user);
      return InstallResultCode::kNotApplicable;
    case LookupOutcome::kVerified:
      break;
  }
  if (!state.install) {
    ProgramLog::Printf(texts::kInstallUnavailable, product, version.c_str(), user);
    return InstallResultCode::kServiceError;
  }
  std::unique_lock<std::mutex> one(state.installing, std::try_to_lock);
  if (!one.owns_lock()) {
    ProgramLog::Printf(texts::kInstallBusy, product, version.c_str(), user);
    return InstallResultCode::kBusy;
  }
  ProgramLog::Printf(texts::kInstallRequestStarted, product, version.c_str(), user, entry.url.c_str());
  PipeProgress progress(state, pipe);
  const char* outcome = nullptr;
  const InstallResultCode result = ResultOf(state.install(entry, progress), &outcome);
  ProgramLog::Printf(texts::kInstallEnded, product, version.c_str(), user, outcome);
  return result;
}

// Serves one connected client, from its request to its last answer.
void ServeConnection(InstallPipeState& state, HANDLE pipe) {
  ULONG clientPid = 0;
  if (!GetNamedPipeClientProcessId(pipe, &clientPid)) clientPid = 0;
  const int pid = static_cast<int>(clientPid);
  PipeIo io(state);

  // One byte more than the largest request, so that a longer one is seen.
  char buffer[kMaxInstallRequestSize + 1];
  DWORD size = 0;
  bool overlong = false;
  if (!io.Read(pipe, buffer, sizeof(buffer), kInstallRequestTimeoutMs, &size)) {
    if (GetLastError() != ERROR_MORE_DATA) {
      if (!IsStopped(state)) {
        ProgramLog::Printf(texts::kInstallNoRequest, pid, static_cast<unsigned long>(GetLastError()));
      }
      return;
    }
    overlong = true;
  }

  InstallRequester requester;
  DWORD error = 0;
  switch (IdentifyRequester(pipe, &requester, &error)) {
    case IdentifyOutcome::kRevertFailed:
      // Still in the client's identity: nothing more is done on this thread.
      ProgramLog::Printf(texts::kInstallRevertFailed, pid, static_cast<unsigned long>(error));
      return;
    case IdentifyOutcome::kNotIdentified:
      ProgramLog::Printf(texts::kInstallRequesterUnknown, pid, static_cast<unsigned long>(error));
      Finish(io, pipe, InstallResultCode::kNotAllowed, kInstallAnswerTimeoutMs);
      return;
    case IdentifyOutcome::kIdentified:
      break;
  }
  const char* user = requester.account.c_str();

  InstallRequest request;
  const RequestFault fault = overlong ? RequestFault::kBadLength
                                      : DecodeInstallRequest(std::string_view(buffer, size), &request);
  if (fault != RequestFault::kNone) {
    ProgramLog::Printf(texts::kInstallRequestMalformed, pid, user, FaultName(fault),
                       static_cast<unsigned>(size));
    Finish(io, pipe, InstallResultCode::kBadRequest, kInstallAnswerTimeoutMs);
    return;
  }
  ProgramLog::Printf(texts::kInstallRequested, pid, user, request.product.c_str(),
                     request.version.ToText().c_str());
  const InstallResultCode result = Fulfil(state, pipe, request, requester);
  Finish(io, pipe, result, kInstallAnswerTimeoutMs);
}

// The answer to a client beyond the connections served at once.
void AnswerBusy(InstallPipeState& state, HANDLE pipe) {
  ULONG clientPid = 0;
  if (!GetNamedPipeClientProcessId(pipe, &clientPid)) clientPid = 0;
  ProgramLog::Printf(texts::kInstallTooManyRequests, static_cast<int>(clientPid),
                     static_cast<int>(kMaxInstallConnections));
  PipeIo io(state);
  Finish(io, pipe, InstallResultCode::kBusy, kBusyAnswerTimeoutMs, kBusyAnswerTimeoutMs);
}

// A connection served on a thread of its own.
void ServeOnThread(InstallPipeState& state, HANDLE pipe) {
  try {
    ServeConnection(state, pipe);
  } catch (const std::bad_alloc&) {
    // The client sees its pipe break without a result.
  }
}

// Waits for a client on the instance. False when none connected.
bool AwaitClient(const InstallPipeState& state, HANDLE pipe) {
  UniqueHandle ioEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!ioEvent) return false;
  OVERLAPPED overlapped{};
  overlapped.hEvent = ioEvent.get();
  if (ConnectNamedPipe(pipe, &overlapped)) return true;
  DWORD ignored = 0;
  switch (GetLastError()) {
    case ERROR_PIPE_CONNECTED:
      return true;
    case ERROR_IO_PENDING: {
      HANDLE waits[] = {ioEvent.get(), state.stopEvent.get()};
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
        return false;
      }
      return GetOverlappedResult(pipe, &overlapped, &ignored, FALSE) != FALSE;
    }
    default:
      // Do not spin on an instance that cannot take clients.
      WaitForSingleObject(state.stopEvent.get(), kInstallPipeRetryFirstMs);
      return false;
  }
}

DWORD ServeInstallPipe(const std::shared_ptr<InstallPipeState>& shared) {
  InstallPipeState& state = *shared;
  RegistrationPipeSecurity security(kInstallPipeSddl);
  if (security.Attributes() == nullptr) {
    // Without its access list the pipe is not offered at all.
    ProgramLog::Printf(texts::kInstallPipeSecurityNotBuilt, static_cast<int>(security.Error()));
    SetEvent(state.firstInstanceTried.get());
    return security.Error();
  }
  // Waits, when the pipe thread ends, for the connections it started.
  ConnectionThreads connections;
  DWORD retryMs = kInstallPipeRetryFirstMs;
  DWORD lastError = 0;
  UniqueFileHandle pipe;
  while (!IsStopped(state)) {
    if (!pipe) {
      // Holding no instance, the thread makes the first of the name: a name
      // that another process created first is refused, never shared.
      pipe.reset(CreateInstallPipeInstance(state.pipeName.c_str(), true, security.Attributes()));
      const DWORD error = pipe ? 0 : GetLastError();
      SetEvent(state.firstInstanceTried.get());
      if (!pipe) {
        if (error != lastError) {
          ProgramLog::Printf(texts::kInstallPipeNotCreated, static_cast<int>(error),
                             static_cast<int>(retryMs));
        }
        lastError = error;
        WaitForSingleObject(state.stopEvent.get(), retryMs);
        retryMs = std::min(retryMs * 2, kInstallPipeRetryLimitMs);
        continue;
      }
      if (lastError != 0) ProgramLog::Write(texts::kInstallPipeCreatedAgain);
      lastError = 0;
      retryMs = kInstallPipeRetryFirstMs;
    }
    const bool connected = AwaitClient(state, pipe.get());
    if (IsStopped(state)) break;
    // The next instance exists before this one is handed on, so that the
    // name never goes missing while a client is served.
    UniqueFileHandle next(
        CreateInstallPipeInstance(state.pipeName.c_str(), false, security.Attributes()));
    if (connected) {
      if (connections.Running() >= kMaxInstallConnections) {
        AnswerBusy(state, pipe.get());
      } else if (connections.Start(
                     pipe, [shared](HANDLE instance) { ServeOnThread(*shared, instance); })) {
        pipe = std::move(next);
        continue;
      } else {
        PipeIo io(state);
        Finish(io, pipe.get(), InstallResultCode::kServiceError, kBusyAnswerTimeoutMs,
               kBusyAnswerTimeoutMs);
      }
    }
    DisconnectNamedPipe(pipe.get());
    // Without a next instance the current one takes the next client.
    if (next) pipe = std::move(next);
  }
  return 0;
}

DWORD WINAPI InstallPipeThread(void* parameter) {
  std::unique_ptr<std::shared_ptr<InstallPipeState>> state(
      static_cast<std::shared_ptr<InstallPipeState>*>(parameter));
  try {
    return ServeInstallPipe(*state);
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  }
}

}  // namespace

HANDLE CreateInstallPipeInstance(const char* name, bool first, SECURITY_ATTRIBUTES* security) {
  DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
  if (first) openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
  return CreateNamedPipeA(name, openMode,
                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT |
                              PIPE_REJECT_REMOTE_CLIENTS,
                          PIPE_UNLIMITED_INSTANCES, kInstallPipeBufferSize,
                          kInstallPipeBufferSize, 0, security);
}

InstallPipeServer::InstallPipeServer(std::string pipeName, InstallFunction install,
                                     std::shared_ptr<InstallCatalogueSource> source)
    : state_(std::make_shared<InstallPipeState>(std::move(pipeName), std::move(install),
                                                std::move(source))) {}

InstallPipeServer::~InstallPipeServer() { Stop(); }

HRESULT InstallPipeServer::Start() {
  if (thread_) {
    if (WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT) return 0;
    thread_.reset();
  }
  if (!state_->stopEvent || !state_->firstInstanceTried) return E_FAIL;
  ResetEvent(state_->stopEvent.get());
  ResetEvent(state_->firstInstanceTried.get());
  auto* parameter = new (std::nothrow) std::shared_ptr<InstallPipeState>(state_);
  if (parameter == nullptr) return E_FAIL;
  thread_.reset(CreateThread(nullptr, 0, &InstallPipeThread, parameter, 0, nullptr));
  if (!thread_) {
    delete parameter;
    return E_FAIL;
  }
  HANDLE ready[] = {state_->firstInstanceTried.get(), thread_.get()};
  WaitForMultipleObjects(2, ready, FALSE, kFirstInstanceWaitMs);
  return 0;
}

bool InstallPipeServer::Stop(DWORD timeoutMs) {
  if (!thread_) return true;
  SetEvent(state_->stopEvent.get());
  const bool ended = WaitForSingleObject(thread_.get(), timeoutMs) == WAIT_OBJECT_0;
  thread_.reset();
  return ended;
}

}  // namespace zvu
