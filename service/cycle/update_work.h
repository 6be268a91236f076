#pragma once

#include <windows.h>

#include <string>

namespace zvu {

// The work the service's frame and update cycle hand off to other parts: the
// pipe server that clients register with, the catalogue check and the
// hand-off of a catalogue to a client. `stopEvent` is a manual-reset event
// that is signalled when the service is asked to stop; a check or hand-off
// that waits returns E_FAIL promptly once it is signalled.
// The failure of a check that read no catalogue (server unreachable, transfer
// failed, cut or stopped, a body that is no catalogue): it tells nothing about
// the updates on offer, so a catalogue still waiting for a client keeps waiting.
inline constexpr HRESULT kCheckInconclusive = HRESULT_FROM_WIN32(ERROR_RETRY);

class UpdateWork {
 public:
  virtual ~UpdateWork() = default;

  // Starts the thread that accepts client registrations. Failure is ignored.
  virtual HRESULT StartRegistrationThread() = 0;
  // Ends that thread (bounded wait), so that the pipe name is free again
  // before the service reports itself stopped.
  virtual void StopRegistrationThread() = 0;

  // Fetches the catalogue and decides whether it offers an applicable update.
  // Returns S_OK and sets `updateXml` to the catalogue text when it does;
  // otherwise returns a failure and leaves `updateXml` untouched:
  // kCheckInconclusive when no catalogue could be read at all, any other
  // failure when the catalogue read holds nothing to hand over.
  virtual HRESULT CheckForUpdates(std::string& updateXml, HANDLE stopEvent) = 0;

  // Writes the catalogue text to a registered client. S_OK when it was written.
  virtual HRESULT SendCatalogue(const std::string& text, HANDLE stopEvent) = 0;
};

}  // namespace zvu
