#include "service_install_client.h"

#include <cstdio>
#include <new>

#include "client_log.h"
#include "client_texts.h"
#include "install_pipe_protocol.h"
#include "pipe_protocol.h"
#include "unique_handle.h"

namespace zvu {
namespace {

// The client end asks for kPipeClientAccess and stays in byte read mode,
// so that it needs no right to change its mode: each answer's first byte
// says its length.

// The whole length of an answer of this kind; 0 for no known kind.
size_t AnswerSize(uint8_t kind) {
  switch (kind) {
    case kReceivedAnswerKind: return kReceivedAnswerSize;
    case kInstallingAnswerKind: return kInstallingAnswerSize;
    case kResultAnswerKind: return kResultAnswerSize;
    default: return 0;
  }
}

ServiceInstallStatus StatusOf(InstallResultCode code) {
  switch (code) {
    case InstallResultCode::kInstalled: return ServiceInstallStatus::kInstalled;
    case InstallResultCode::kInstallFailed: return ServiceInstallStatus::kInstallFailed;
    case InstallResultCode::kDownloadFailed: return ServiceInstallStatus::kDownloadFailed;
    case InstallResultCode::kDigestMismatch: return ServiceInstallStatus::kDigestMismatch;
    case InstallResultCode::kNotListed: return ServiceInstallStatus::kNotListed;
    case InstallResultCode::kNoDigest: return ServiceInstallStatus::kNoDigest;
    case InstallResultCode::kNotApplicable: return ServiceInstallStatus::kNotApplicable;
    case InstallResultCode::kNotAllowed: return ServiceInstallStatus::kNotAllowed;
    case InstallResultCode::kBusy: return ServiceInstallStatus::kBusy;
    case InstallResultCode::kServiceError: return ServiceInstallStatus::kServiceError;
    case InstallResultCode::kBadRequest: return ServiceInstallStatus::kBadRequest;
  }
  return ServiceInstallStatus::kBadAnswer;
}

// Opens the client end, waiting for a free instance while the callbacks
// allow; *failure says why none was opened. Identification only: the service
// may learn who asks, never act as this user.
bool OpenPipe(const char* pipeName, ServiceInstallCallbacks& callbacks, UniqueFileHandle* pipe,
              ServiceInstallStatus* failure) {
  const ULONGLONG deadline = GetTickCount64() + kServiceInstallConnectWaitMs;
  for (;;) {
    pipe->reset(CreateFileA(pipeName, kPipeClientAccess, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                            nullptr));
    if (*pipe) return true;
    *failure = ServiceInstallStatus::kNoService;
    if (GetLastError() != ERROR_PIPE_BUSY || GetTickCount64() >= deadline) return false;
    WaitNamedPipeA(pipeName, kServiceInstallPumpMs);
    *failure = ServiceInstallStatus::kGivenUp;
    if (!callbacks.OnWait()) return false;
  }
}

enum class Io { kDone, kFailed, kGivenUp };

// One overlapped operation, calling OnWait while it is pending. A given-up
// operation is cancelled and awaited before this returns.
Io Await(HANDLE pipe, bool write, void* buffer, DWORD size, ServiceInstallCallbacks& callbacks,
         DWORD* moved, DWORD* error) {
  *moved = 0;
  *error = 0;
  UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!event) return Io::kFailed;
  OVERLAPPED overlapped{};
  overlapped.hEvent = event.get();
  const BOOL started = write ? WriteFile(pipe, buffer, size, nullptr, &overlapped)
                             : ReadFile(pipe, buffer, size, nullptr, &overlapped);
  if (!started && GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA) {
    *error = GetLastError();
    return Io::kFailed;
  }
  while (WaitForSingleObject(event.get(), kServiceInstallPumpMs) == WAIT_TIMEOUT) {
    if (!callbacks.OnWait()) {
      CancelIo(pipe);
      GetOverlappedResult(pipe, &overlapped, moved, TRUE);
      return Io::kGivenUp;
    }
  }
  if (!GetOverlappedResult(pipe, &overlapped, moved, FALSE)) {
    *error = GetLastError();
    return Io::kFailed;
  }
  return Io::kDone;
}

ServiceInstallStatus Exchange(const char* pipeName, DWORD serverProcessId,
                              const InstallRequest& request, ServiceInstallCallbacks& callbacks) {
  const std::string message = EncodeInstallRequest(request);
  if (message.empty()) return ServiceInstallStatus::kNoService;
  if (serverProcessId == 0) return ServiceInstallStatus::kNoService;
  UniqueFileHandle pipe;
  ServiceInstallStatus failure = ServiceInstallStatus::kNoService;
  if (!OpenPipe(pipeName, callbacks, &pipe, &failure)) return failure;

  // A process that created the name before the service must not learn what
  // this user asks for, nor answer it.
  ULONG server = 0;
  if (!GetNamedPipeServerProcessId(pipe.get(), &server) || server != serverProcessId) {
    char record[160];
    std::snprintf(record, sizeof(record), client_texts::kInstallPipeNotTheService,
                  static_cast<unsigned long>(server), static_cast<unsigned long>(serverProcessId));
    clientLog::Write(record);
    return ServiceInstallStatus::kNotTheService;
  }
  DWORD moved = 0;
  DWORD error = 0;
  switch (Await(pipe.get(), true, const_cast<char*>(message.data()),
                static_cast<DWORD>(message.size()), callbacks, &moved, &error)) {
    case Io::kGivenUp: return ServiceInstallStatus::kGivenUp;
    case Io::kFailed: return ServiceInstallStatus::kConnectionLost;
    case Io::kDone: break;
  }
  if (moved != message.size()) return ServiceInstallStatus::kConnectionLost;
  for (;;) {
    char buffer[kMaxInstallAnswerSize];
    size_t size = 1;  // the kind first, then the rest its kind says
    for (size_t have = 0; have < size; have += moved) {
      switch (Await(pipe.get(), false, buffer + have, static_cast<DWORD>(size - have), callbacks,
                    &moved, &error)) {
        case Io::kGivenUp: return ServiceInstallStatus::kGivenUp;
        case Io::kFailed: return ServiceInstallStatus::kConnectionLost;
        case Io::kDone: break;
      }
      if (moved == 0) return ServiceInstallStatus::kBadAnswer;  // an empty message
      if (have == 0) {
        size = AnswerSize(static_cast<uint8_t>(buffer[0]));
        if (size == 0) return ServiceInstallStatus::kBadAnswer;
      }
    }
    const std::optional<InstallAnswer> answer = DecodeInstallAnswer(std::string_view(buffer, size));
    if (!answer) return ServiceInstallStatus::kBadAnswer;
    switch (answer->kind) {
      case kReceivedAnswerKind:
        callbacks.OnReceived(answer->bytes, answer->total);
        break;
      case kInstallingAnswerKind:
        callbacks.OnInstalling();
        break;
      default:
        return StatusOf(answer->result);
    }
  }
}

}  // namespace

const char* ServiceInstallStatusText(ServiceInstallStatus status) {
  namespace t = client_texts;
  switch (status) {
    case ServiceInstallStatus::kInstalled: return t::kServiceInstallInstalled;
    case ServiceInstallStatus::kInstallFailed: return t::kServiceInstallFailed;
    case ServiceInstallStatus::kDownloadFailed: return t::kServiceInstallDownloadFailed;
    case ServiceInstallStatus::kDigestMismatch: return t::kServiceInstallDigestMismatch;
    case ServiceInstallStatus::kNotListed: return t::kServiceInstallNotListed;
    case ServiceInstallStatus::kNoDigest: return t::kServiceInstallNoDigest;
    case ServiceInstallStatus::kNotApplicable: return t::kServiceInstallNotApplicable;
    case ServiceInstallStatus::kNotAllowed: return t::kServiceInstallNotAllowed;
    case ServiceInstallStatus::kBusy: return t::kServiceInstallBusy;
    case ServiceInstallStatus::kServiceError: return t::kServiceInstallServiceError;
    case ServiceInstallStatus::kBadRequest: return t::kServiceInstallBadRequest;
    case ServiceInstallStatus::kNoService: return t::kServiceInstallNoService;
    case ServiceInstallStatus::kNotTheService: return t::kServiceInstallNotTheService;
    case ServiceInstallStatus::kConnectionLost: return t::kServiceInstallConnectionLost;
    case ServiceInstallStatus::kBadAnswer: return t::kServiceInstallBadAnswer;
    case ServiceInstallStatus::kGivenUp: return t::kServiceInstallGivenUp;
  }
  return t::kServiceInstallBadAnswer;
}

bool ServiceInstallAvailable() { return RunningServiceProcessId() != 0; }

ServiceInstallStatus RequestServiceInstall(const char* pipeName, DWORD serverProcessId,
                                           const std::string& product, const ProductVersion& version,
                                           ServiceInstallCallbacks& callbacks) {
  ServiceInstallStatus status = ServiceInstallStatus::kConnectionLost;
  std::string versionText;
  try {
    versionText = version.ToText();
    status = Exchange(pipeName, serverProcessId, InstallRequest{product, version}, callbacks);
  } catch (const std::bad_alloc&) {
  }
  char record[384];
  std::snprintf(record, sizeof(record), client_texts::kServiceInstallRecord, product.c_str(),
                versionText.c_str(), ServiceInstallStatusText(status));
  clientLog::Write(record);
  return status;
}

ServiceInstallStatus RequestServiceInstall(const std::string& product, const ProductVersion& version,
                                           ServiceInstallCallbacks& callbacks) {
  return RequestServiceInstall(kInstallPipeName, RunningServiceProcessId(), product, version,
                               callbacks);
}

}  // namespace zvu
