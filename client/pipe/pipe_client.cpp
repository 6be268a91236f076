#include "pipe_client.h"

#include <cstdio>
#include <mutex>

#include "catalogue_reader.h"
#include "client_log.h"
#include "pipe_protocol.h"
#include "registered_messages.h"
#include "service_process.h"
#include "client_texts.h"

namespace zvu {

struct PipeClient::Shared {
  explicit Shared(ServiceAccess serviceAccess) : access(serviceAccess) {}

  const ServiceAccess access;
  // Read by the reader thread only, replaced by it on a new registration.
  UniqueHandle readEnd;
  mutable std::mutex lock;
  // Guarded by lock from here on.
  std::string text;
  HWND target = nullptr;
  UniqueHandle writeEnd;  // this process's own write end
  DWORD servicePid = 0;
  uint32_t registration[2] = {0, 0};
  unsigned registrations = 0;
  bool serviceEnded = false;  // the watched service process has ended
  bool closing = false;       // the PipeClient has gone: no new registration
  // The last refusal logged (pipe server, greeting, service): the same
  // refusal again, as the reader tries every few seconds, is not logged again.
  DWORD refused[3] = {0, 0, 0};
  // This process's end of the last registration's named pipe, kept open
  // until the next registration: the service identifies the pipe's client
  // from the registration it has read, and Windows lets a server
  // impersonate its client only after a read and only while the client's
  // end is open. Holding the end costs nothing once the service has
  // disconnected, and nothing here waits for that.
  UniqueFileHandle registrationPipe;
  UniqueHandle closingEvent{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  // The wait on the current service process (see WatchService), guarded by
  // watchLock; the wait's callback never touches them.
  std::mutex watchLock;
  UniqueHandle serviceProcess;
  UniqueWait serviceWait;

  ~Shared();
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

// Opened for identification only: whoever serves the pipe may learn who
// this client is, but a thread of it that impersonates the client cannot
// act as the client (ImpersonateNamedPipeClient then gives a token that
// opens nothing). Without SECURITY_SQOS_PRESENT a server would impersonate
// at SecurityImpersonation, the user's full rights. The rights asked for are
// those the pipe grants interactive users (kPipeClientAccess).
HANDLE OpenServicePipe() {
  for (;;) {
    HANDLE pipe = CreateFileA(kRegistrationPipeName, kPipeClientAccess, 0, nullptr,
                              OPEN_EXISTING, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                              nullptr);
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
uint32_t WriteEndForService(const PipeClient::ServiceAccess& access, HANDLE writeEnd,
                            DWORD servicePid) {
  UniqueHandle service(access.openServiceProcess(PROCESS_DUP_HANDLE, servicePid));
  HANDLE inService = nullptr;
  if (service && DuplicateHandle(GetCurrentProcess(), writeEnd, service.get(), &inService, 0,
                                 FALSE, DUPLICATE_SAME_ACCESS)) {
    return HandleToWire(inService);
  }
  return HandleToWire(writeEnd);
}

// One registration with the service's current process.
struct Registration {
  HRESULT result = PipeClient::kNoService;
  DWORD servicePid = 0;
  uint32_t record[2] = {0, 0};
  UniqueHandle readEnd;
  UniqueHandle writeEnd;
  UniqueFileHandle namedPipe;  // held open after the write (see Shared)
};

// Logs a refusal of the pipe's server, unless the same refusal was the last
// one logged.
void LogRefusal(PipeClient::Shared& shared, DWORD server, DWORD greeting, DWORD service) {
  {
    std::lock_guard<std::mutex> guard(shared.lock);
    if (shared.refused[0] == server && shared.refused[1] == greeting &&
        shared.refused[2] == service) {
      return;
    }
    shared.refused[0] = server;
    shared.refused[1] = greeting;
    shared.refused[2] = service;
  }
  char record[160];
  std::snprintf(record, sizeof(record), client_texts::kRegistrationRefused,
                static_cast<unsigned long>(server), static_cast<unsigned long>(greeting),
                static_cast<unsigned long>(service));
  clientLog::Write(record);
}

// The pipe's server is the update service only when the pipe's server, the
// service control manager and the greeting name the same process. A server
// that is not the service is refused before its greeting is read, so that it
// cannot hold this thread by never greeting; a refused server gets nothing
// and counts as no service at all.
Registration RegisterWithService(PipeClient::Shared& shared) {
  Registration registration;
  UniqueFileHandle namedPipe(OpenServicePipe());
  if (!namedPipe) return registration;

  ULONG server = 0;
  if (!GetNamedPipeServerProcessId(namedPipe.get(), &server)) server = 0;
  const DWORD service = shared.access.runningServiceProcessId();
  if (service == 0 || server != service) {
    LogRefusal(shared, server, 0, service);
    return registration;
  }

  // The pipe is a byte pipe and a client end reads in byte mode from the
  // start; setting the mode would need more than kPipeClientAccess.

  // A service that sends no greeting leaves the id 0, which is refused.
  unsigned char hello[kHelloSize] = {};
  DWORD greeting = 0;
  if (ReadExactly(namedPipe.get(), hello, kHelloSize)) greeting = GetUint32(hello);
  if (greeting != service) {
    LogRefusal(shared, server, greeting, service);
    return registration;
  }
  registration.servicePid = greeting;

  registration.result = PipeClient::kFailed;
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, nullptr, kClientCataloguePipeSize)) return registration;
  registration.readEnd.reset(readEnd);
  registration.writeEnd.reset(writeEnd);

  registration.record[0] = GetCurrentProcessId();
  registration.record[1] = WriteEndForService(shared.access, writeEnd, registration.servicePid);
  unsigned char record[kRegistrationSize];
  PutUint32(record, registration.record[0]);
  PutUint32(record + 4, registration.record[1]);
  DWORD written = 0;
  if (WriteFile(namedPipe.get(), record, kRegistrationSize, &written, nullptr) &&
      written == kRegistrationSize) {
    registration.result = PipeClient::kRegistered;
    registration.namedPipe = std::move(namedPipe);
  }
  return registration;
}

// Takes over a registration's ends and records; the reader thread reads the
// new read end from then on.
void Adopt(PipeClient::Shared& shared, Registration& registration) {
  shared.readEnd = std::move(registration.readEnd);
  std::lock_guard<std::mutex> guard(shared.lock);
  shared.writeEnd = std::move(registration.writeEnd);
  shared.registrationPipe = std::move(registration.namedPipe);
  shared.servicePid = registration.servicePid;
  shared.registration[0] = registration.record[0];
  shared.registration[1] = registration.record[1];
  shared.serviceEnded = false;
  for (DWORD& pid : shared.refused) pid = 0;
  ++shared.registrations;
}

// Runs on a pool thread when the watched service process has ended. It
// frees nothing: the Shared it is given ends the wait before it goes, and a
// new registration ends the wait of the previous one.
void CALLBACK ServiceEnded(void* parameter, BOOLEAN) {
  auto* shared = static_cast<PipeClient::Shared*>(parameter);
  // With the service's copies gone, closing this one breaks the pipe for
  // the reader, which then registers again.
  std::lock_guard<std::mutex> guard(shared->lock);
  shared->serviceEnded = true;
  shared->writeEnd.reset();
}

// Ends the wait on the previous service process, waiting for its callback
// to finish if it runs.
void EndServiceWatch(PipeClient::Shared& shared) {
  std::lock_guard<std::mutex> guard(shared.watchLock);
  // UniqueWait ends the wait blocking: a callback that runs has returned
  // before the process handle it waits on goes.
  shared.serviceWait.reset();
  shared.serviceProcess.reset();
}

void WatchService(const std::shared_ptr<PipeClient::Shared>& shared, DWORD servicePid) {
  EndServiceWatch(*shared);
  std::lock_guard<std::mutex> guard(shared->watchLock);
  // Waiting needs SYNCHRONIZE on the service's process, which runs as local
  // system. Its access list grants that to no one (administrators get
  // generic read and PROCESS_DUP_HANDLE only), so on Windows the open is
  // refused for every user; then the record below is written, and a restart
  // is followed only when RegisterAgain is called.
  shared->serviceProcess.reset(shared->access.openServiceProcess(SYNCHRONIZE, servicePid));
  HANDLE wait = nullptr;
  if (shared->serviceProcess &&
      RegisterWaitForSingleObject(&wait, shared->serviceProcess.get(), &ServiceEnded, shared.get(),
                                  INFINITE, WT_EXECUTEONLYONCE)) {
    shared->serviceWait.reset(wait);
    return;
  }
  const DWORD error = GetLastError();
  shared->serviceProcess.reset();
  char record[160];
  std::snprintf(record, sizeof(record), client_texts::kServiceNotWatched,
                static_cast<unsigned long>(servicePid), static_cast<unsigned long>(error));
  clientLog::Write(record);
}

}  // namespace

// Never runs on the wait's callback thread: the callback holds no reference.
PipeClient::Shared::~Shared() { EndServiceWatch(*this); }

namespace {

DWORD WINAPI ReaderThread(void* parameter) {
  std::unique_ptr<std::shared_ptr<PipeClient::Shared>> owner(
      static_cast<std::shared_ptr<PipeClient::Shared>*>(parameter));
  const std::shared_ptr<PipeClient::Shared>& shared = *owner;
  for (;;) {
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
    {
      std::lock_guard<std::mutex> guard(shared->lock);
      // A pipe that broke while the service runs is not mended by a new
      // registration; nor is one after the PipeClient has gone.
      if (!shared->serviceEnded || shared->closing) return 0;
    }
    // The service has ended: register with its next process.
    for (;;) {
      if (WaitForSingleObject(shared->closingEvent.get(), PipeClient::kReregisterPauseMs) !=
          WAIT_TIMEOUT) {
        return 0;
      }
      Registration registration = RegisterWithService(*shared);
      if (registration.result != PipeClient::kRegistered) continue;
      Adopt(*shared, registration);
      WatchService(shared, shared->servicePid);
      break;
    }
  }
}

}  // namespace

PipeClient::ServiceAccess PipeClient::SystemServiceAccess() {
  return {&RunningServiceProcessId,
          [](DWORD access, DWORD processId) { return OpenProcess(access, FALSE, processId); }};
}

PipeClient::PipeClient(ServiceAccess access) : shared_(std::make_shared<Shared>(access)) {}

PipeClient::~PipeClient() {
  std::lock_guard<std::mutex> guard(shared_->lock);
  shared_->target = nullptr;
  shared_->closing = true;
  shared_->writeEnd.reset();
  if (shared_->closingEvent) SetEvent(shared_->closingEvent.get());
}

HRESULT PipeClient::Register() {
  if (threadId_ != 0) return kFailed;
  Registration registration = RegisterWithService(*shared_);
  if (registration.result == kNoService) return kNoService;
  {
    std::lock_guard<std::mutex> guard(shared_->lock);
    shared_->servicePid = registration.servicePid;
    shared_->registration[0] = registration.record[0];
    shared_->registration[1] = registration.record[1];
  }
  if (registration.result != kRegistered) return kFailed;
  Adopt(*shared_, registration);
  // Watched before the reader starts: the caller sets its target right after
  // this returns, and a catalogue the service writes at once must not find
  // the target still missing because the watch took its time.
  WatchService(shared_, registration.servicePid);

  auto* parameter = new std::shared_ptr<Shared>(shared_);
  const UniqueHandle thread(CreateThread(nullptr, 0, ReaderThread, parameter, 0, &threadId_));
  if (!thread) {
    delete parameter;
    threadId_ = 0;
    EndServiceWatch(*shared_);
    return kFailed;
  }
  return kRegistered;
}

HRESULT PipeClient::RegisterAgain() {
  if (threadId_ == 0) return Register();
  const DWORD current = shared_->access.runningServiceProcessId();
  std::lock_guard<std::mutex> guard(shared_->lock);
  if (shared_->closing || shared_->serviceEnded) return kRegistered;
  if (current != 0 && current == shared_->servicePid) return kRegistered;
  // The registration is with a process that is no longer the service (or
  // the service is not running). The old process's copy of the write end
  // went with it, or goes when it ends: closing this one lets the reader see
  // the pipe break then and register with the service's current process.
  // While the old copy lives, its catalogues are still read.
  shared_->serviceEnded = true;
  shared_->writeEnd.reset();
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

DWORD PipeClient::ServiceProcessId() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->servicePid;
}

uint32_t PipeClient::RegisteredProcessId() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->registration[0];
}

uint32_t PipeClient::RegisteredHandle() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->registration[1];
}

unsigned PipeClient::Registrations() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->registrations;
}

}  // namespace zvu
