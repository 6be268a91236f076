#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <vector>

#include "unique_handle.h"

namespace zvu {

// The threads that serve a pipe server's connected instances, one thread an
// instance. Used by the one thread that accepts connections; the destructor
// waits for every thread still running, since they use that thread's state.
class ConnectionThreads {
 public:
  // Serves a connected instance on a thread; the thread owns the instance
  // and disconnects it once serve has returned.
  using Serve = std::function<void(HANDLE instance)>;

  ConnectionThreads() = default;
  ConnectionThreads(const ConnectionThreads&) = delete;
  ConnectionThreads& operator=(const ConnectionThreads&) = delete;
  ~ConnectionThreads();

  // Runs serve on a new thread, which then owns the instance. False when no
  // thread could be started (the instance stays the caller's).
  bool Start(UniqueFileHandle& instance, Serve serve);

  // How many threads still run (the ended ones are forgotten first).
  std::size_t Running();

  // Waits while `most` threads are running, until one ends or stopEvent is
  // set. most must be below MAXIMUM_WAIT_OBJECTS.
  void AwaitRoom(std::size_t most, HANDLE stopEvent);

 private:
  static constexpr DWORD kStackSize = 256 * 1024;
  std::vector<UniqueHandle> threads_;
};

}  // namespace zvu
