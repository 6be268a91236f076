#include "connection_threads.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace zvu {
namespace {

struct ConnectionJob {
  UniqueFileHandle instance;
  ConnectionThreads::Serve serve;
};

DWORD WINAPI ConnectionThread(void* parameter) {
  std::unique_ptr<ConnectionJob> job(static_cast<ConnectionJob*>(parameter));
  job->serve(job->instance.get());
  DisconnectNamedPipe(job->instance.get());
  return 0;
}

}  // namespace

ConnectionThreads::~ConnectionThreads() {
  for (const UniqueHandle& thread : threads_) WaitForSingleObject(thread.get(), INFINITE);
}

bool ConnectionThreads::Start(UniqueFileHandle& instance, Serve serve) {
  auto job = std::make_unique<ConnectionJob>(ConnectionJob{std::move(instance), std::move(serve)});
  UniqueHandle thread(CreateThread(nullptr, kStackSize, &ConnectionThread, job.get(),
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!thread) {
    instance = std::move(job->instance);
    return false;
  }
  job.release();
  threads_.push_back(std::move(thread));
  return true;
}

std::size_t ConnectionThreads::Running() {
  auto ended = std::remove_if(threads_.begin(), threads_.end(), [](const UniqueHandle& thread) {
    return WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
  });
  threads_.erase(ended, threads_.end());
  return threads_.size();
}

void ConnectionThreads::AwaitRoom(std::size_t most, HANDLE stopEvent) {
  while (Running() >= most && WaitForSingleObject(stopEvent, 0) != WAIT_OBJECT_0) {
    std::vector<HANDLE> waits;
    for (const UniqueHandle& thread : threads_) waits.push_back(thread.get());
    waits.push_back(stopEvent);
    WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, INFINITE);
  }
}

}  // namespace zvu
