#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "unique_handle.h"

namespace zvu {

// The client's side of the catalogue hand-off. Register registers this
// process with the update service over its named pipe, handing it the write
// end of an anonymous pipe, and starts a reader thread on the read end. Each
// catalogue the service writes there is kept, logged to the client log and
// announced to the target window with a synchronous UWM_UPDATES_FOUND.
//
// The target reads the catalogue with Text() while it handles the message;
// the text is guarded by a lock, so reading it elsewhere is safe as well.
//
// The reader thread shares its state (read end, text, target) with this
// object and keeps it alive; when the object goes, the target is cleared (no
// more announcements) and the write end closed. The thread then ends once
// the pipe breaks, or with the process.
class PipeClient {
 public:
  // Results of Register.
  static constexpr HRESULT kRegistered = 0;
  static constexpr HRESULT kNoService = 1;
  static constexpr HRESULT kFailed = static_cast<HRESULT>(0x80004005L);

  PipeClient();
  ~PipeClient();
  PipeClient(const PipeClient&) = delete;
  PipeClient& operator=(const PipeClient&) = delete;

  // Once, at start: kRegistered when the reader runs, kNoService when the
  // service's pipe could not be opened, kFailed when the registration could
  // not be sent or the reader could not be started.
  HRESULT Register();

  void SetTarget(HWND target);
  // The last catalogue received (empty before the first).
  std::string Text() const;

  DWORD ServiceProcessId() const { return servicePid_; }
  // What was sent to the service: this process's id and the handle value of
  // the write end (in the service's process, or in this one when the handle
  // could not be duplicated into the service).
  uint32_t RegisteredProcessId() const { return registration_[0]; }
  uint32_t RegisteredHandle() const { return registration_[1]; }

 // State shared with the reader thread.
  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  DWORD servicePid_ = 0;
  uint32_t registration_[2] = {0, 0};
  UniqueFileHandle namedPipe_;
  UniqueHandle writeEnd_;
  DWORD threadId_ = 0;
};

}  // namespace zvu
