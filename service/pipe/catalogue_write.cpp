#include "catalogue_write.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "unique_handle.h"

namespace zvu {
namespace {

// How long a cancelled write may take to come back before it is left behind.
constexpr DWORD kCancelGraceMs = 300;

}  // namespace

struct CatalogueWrite::Shared {
  Shared(HANDLE pipeIn, Release releaseIn) : pipe(pipeIn), release(std::move(releaseIn)) {}
  ~Shared() { ReleasePipe(); }
  Shared(const Shared&) = delete;
  Shared& operator=(const Shared&) = delete;

  void ReleasePipe() {
    HANDLE owned = std::exchange(pipe, nullptr);
    if (owned == nullptr) return;
    if (release) {
      release(owned);
    } else {
      CloseHandle(owned);
    }
  }

  HANDLE pipe;
  Release release;
  std::string bytes;
  UniqueHandle done;  // manual reset, set when the worker has finished
  std::atomic<DWORD> error{ERROR_GEN_FAILURE};
};

std::shared_ptr<CatalogueWrite> CatalogueWrite::Start(HANDLE pipe, std::string bytes,
                                                      Release release) {
  auto shared = std::make_shared<Shared>(pipe, std::move(release));
  shared->bytes = std::move(bytes);
  shared->done.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!shared->done) return nullptr;
  auto* parameter = new std::shared_ptr<Shared>(shared);
  HANDLE thread = CreateThread(nullptr, 0, &CatalogueWrite::Run, parameter, 0, nullptr);
  if (thread == nullptr) {
    delete parameter;
    return nullptr;
  }
  return std::shared_ptr<CatalogueWrite>(new CatalogueWrite(std::move(shared), thread));
}

CatalogueWrite::CatalogueWrite(std::shared_ptr<Shared> shared, HANDLE thread)
    : shared_(std::move(shared)), thread_(thread) {}

CatalogueWrite::~CatalogueWrite() = default;

DWORD WINAPI CatalogueWrite::Run(void* parameter) {
  std::unique_ptr<std::shared_ptr<Shared>> owned(static_cast<std::shared_ptr<Shared>*>(parameter));
  Shared& shared = **owned;
  DWORD error = 0;
  size_t done = 0;
  while (error == 0 && done < shared.bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(
        std::min<size_t>(shared.bytes.size() - done, 0x40000000u));
    if (!WriteFile(shared.pipe, shared.bytes.data() + done, chunk, &written, nullptr)) {
      error = GetLastError();
    } else if (written == 0) {
      error = ERROR_WRITE_FAULT;
    }
    done += written;
  }
  // The pipe has taken everything once the client has read it.
  if (error == 0 && !FlushFileBuffers(shared.pipe)) error = GetLastError();
  shared.ReleasePipe();
  shared.error = error;
  SetEvent(shared.done.get());
  return 0;
}

bool CatalogueWrite::Finished() const {
  return WaitForSingleObject(shared_->done.get(), 0) == WAIT_OBJECT_0;
}

CatalogueWrite::Outcome CatalogueWrite::Wait(HANDLE stopEvent, DWORD limitMs) {
  HANDLE waits[] = {shared_->done.get(), stopEvent};
  const DWORD count = stopEvent != nullptr ? 2 : 1;
  const DWORD result = WaitForMultipleObjects(count, waits, FALSE, limitMs);
  if (result != WAIT_OBJECT_0) {
    // The write blocks in a synchronous WriteFile on the worker thread (the
    // write end of an anonymous pipe cannot be opened for overlapped I/O):
    // only a cancel of that thread's I/O ends it early.
    CancelSynchronousIo(thread_.get());
    const bool ended = WaitForSingleObject(shared_->done.get(), kCancelGraceMs) == WAIT_OBJECT_0;
    if (result == WAIT_TIMEOUT && !(ended && shared_->error == 0)) return Outcome::kTimedOut;
    if (!ended) return Outcome::kStopped;
  }
  const DWORD error = shared_->error;
  if (error == 0) return Outcome::kWritten;
  if (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE) return Outcome::kPipeGone;
  return Outcome::kFailed;
}

}  // namespace zvu
