#pragma once

#include "check_for_updates.h"
#include "client_pipe_server.h"
#include "update_work.h"

namespace zvu {

// The service's real work behind its frame: clients register with the pipe
// server, the check fetches and compares the catalogue, and a catalogue with
// an applicable update goes to the client the pipe server chooses (starting
// one in a user's session when none has registered).
class ServiceUpdateWork final : public UpdateWork {
 public:
  HRESULT StartRegistrationThread() override { return pipeServer_.StartRegistrationThread(); }
  void StopRegistrationThread() override { pipeServer_.StopRegistrationThread(); }

  HRESULT CheckForUpdates(std::string& updateXml, HANDLE stopEvent) override {
    return zvu::CheckForUpdates(updateXml, stopEvent, &keptCatalogue_);
  }

  HRESULT SendCatalogue(const std::string& text, HANDLE stopEvent) override {
    return pipeServer_.SendCatalogue(text, stopEvent);
  }

 private:
  ClientPipeServer pipeServer_;
  // The last catalogue the server sent with validators; only the main thread
  // (the update check) uses it.
  KeptCatalogue keptCatalogue_;
};

}  // namespace zvu
