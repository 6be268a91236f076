#include "pipe_client.h"

#include <cstdio>
#include <mutex>

#include "catalogue_reader.h"
#include "client_log.h"
#include "pipe_protocol.h"
#include "registered_messages.h"
#include "client_texts.h"

namespace zvu {

struct PipeClient::Shared {
  UniqueHandle readEnd;
  mutable std::mutex lock;
  std::string text;
  HWND target = nullptr;
};

namespace {

void LogCatalogue(HWND target, const std::string& text) {
  char head[96];
  std::snprintf(head, sizeof(head), client_texts::kCatalogueReceivedHead,
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(target)));
  std::string record = head;
  record += text;
  record += client_texts::kCatalogueReceivedTail;
  clientLog::Write(record);
}

DWORD WINAPI ReaderThread(void* parameter) {
  std::unique_ptr<std::shared_ptr<PipeClient::Shared>> owner(
      static_cast<std::shared_ptr<PipeClient::Shared>*>(parameter));
  const std::shared_ptr<PipeClient::Shared>& shared = *owner;
  ReadCatalogues(shared->readEnd.get(), [&](const std::string& catalogue) {
    HWND target;
    {
      std::lock_guard<std::mutex> guard(shared->lock);
      shared->text = catalogue;
      target = shared->target;
    }
    LogCatalogue(target, catalogue);
    // Synchronous: the target reads the text while this thread waits.
    if (target != nullptr) SendMessageA(target, UpdatesFoundMessage(), 0, 0);
  });
  return 0;
}

HANDLE OpenServicePipe() {
  for (;;) {
    HANDLE pipe = CreateFileA(kRegistrationPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return pipe;
    if (GetLastError() != ERROR_PIPE_BUSY) return INVALID_HANDLE_VALUE;
    if (!WaitNamedPipeA(kRegistrationPipeName, kClientBusyPipeWaitMs)) return INVALID_HANDLE_VALUE;
  }
}

bool ReadExactly(HANDLE pipe, unsigned char* bytes, DWORD size) {
  DWORD done = 0;
  while (done < size) {
    DWORD got = 0;
    if (!ReadFile(pipe, bytes + done, size - done, &got, nullptr) || got == 0) return false;
    done += got;
  }
  return true;
}

// The write end as a handle value in the service's process. When the
// service's process cannot be opened for duplication (a standard user, or a
// filtered administrator token), the value of the write end in this process
// is sent instead: the service then duplicates it from this process itself.
uint32_t WriteEndForService(HANDLE writeEnd, DWORD servicePid) {
  UniqueHandle service(OpenProcess(PROCESS_DUP_HANDLE, FALSE, servicePid));
  HANDLE inService = nullptr;
  if (service && DuplicateHandle(GetCurrentProcess(), writeEnd, service.get(), &inService, 0,
                                 FALSE, DUPLICATE_SAME_ACCESS)) {
    return HandleToWire(inService);
  }
  return HandleToWire(writeEnd);
}

}  // namespace

PipeClient::PipeClient() : shared_(std::make_shared<Shared>()) {}

PipeClient::~PipeClient() {
  std::lock_guard<std::mutex> guard(shared_->lock);
  shared_->target = nullptr;
}

HRESULT PipeClient::Register() {
  if (threadId_ != 0) return kFailed;
  namedPipe_.reset(OpenServicePipe());
  if (!namedPipe_) return kNoService;

  DWORD mode = PIPE_READMODE_BYTE | PIPE_WAIT;
  SetNamedPipeHandleState(namedPipe_.get(), &mode, nullptr, nullptr);

  // A service that sends no hello leaves the id 0; the write end then goes
  // over as this process's own handle value.
  unsigned char hello[kHelloSize] = {};
  if (ReadExactly(namedPipe_.get(), hello, kHelloSize)) servicePid_ = GetUint32(hello);

  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, nullptr, kClientCataloguePipeSize)) {
    namedPipe_.reset();
    return kFailed;
  }
  shared_->readEnd.reset(readEnd);
  writeEnd_.reset(writeEnd);

  registration_[0] = GetCurrentProcessId();
  registration_[1] = WriteEndForService(writeEnd_.get(), servicePid_);
  unsigned char record[kRegistrationSize];
  PutUint32(record, registration_[0]);
  PutUint32(record + 4, registration_[1]);
  DWORD written = 0;
  const bool sent = WriteFile(namedPipe_.get(), record, kRegistrationSize, &written, nullptr) &&
                    written == kRegistrationSize;
  namedPipe_.reset();
  if (!sent) return kFailed;

  auto* parameter = new std::shared_ptr<Shared>(shared_);
  HANDLE thread = CreateThread(nullptr, 0, ReaderThread, parameter, 0, &threadId_);
  if (thread == nullptr) {
    delete parameter;
    threadId_ = 0;
    return kFailed;
  }
  CloseHandle(thread);
  return kRegistered;
}

void PipeClient::SetTarget(HWND target) {
  std::lock_guard<std::mutex> guard(shared_->lock);
  shared_->target = target;
}

std::string PipeClient::Text() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->text;
}

}  // namespace zvu
