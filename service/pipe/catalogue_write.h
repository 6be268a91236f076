#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "unique_handle.h"

namespace zvu {

// One blocking write of catalogue bytes into a client's pipe, run on a
// worker thread so that the caller can give up when asked to stop. The
// write owns its handle (a private duplicate) and its bytes, so a write
// that is given up while the client does not read stays safe: it either
// ends later and releases its handle, or ends with the process.
class CatalogueWrite {
 public:
  enum class Outcome { kWritten, kFailed, kPipeGone, kStopped, kTimedOut };

  // Releases the pipe handle once the write is done with it.
  using Release = std::function<void(HANDLE)>;

  // Starts writing bytes (marker included) to pipe, taking ownership of
  // pipe, which goes to release (CloseHandle when empty) once the write has
  // ended. Null when no worker thread could be started (pipe released then).
  static std::shared_ptr<CatalogueWrite> Start(HANDLE pipe, std::string bytes,
                                               Release release = nullptr);

  ~CatalogueWrite();
  CatalogueWrite(const CatalogueWrite&) = delete;
  CatalogueWrite& operator=(const CatalogueWrite&) = delete;

  // Waits until the write has ended, stopEvent (may be null: never) is set,
  // or limitMs have passed. On stop the blocked write is cancelled where the
  // system allows; kStopped means it is still outstanding. At the limit it is
  // cancelled too, and kTimedOut returned whether or not the cancel has
  // taken yet (Finished() tells).
  Outcome Wait(HANDLE stopEvent, DWORD limitMs = INFINITE);
  bool Finished() const;

 private:
  struct Shared;
  explicit CatalogueWrite(std::shared_ptr<Shared> shared, HANDLE thread);
  static DWORD WINAPI Run(void* parameter);

  std::shared_ptr<Shared> shared_;
  UniqueHandle thread_;
};

}  // namespace zvu
