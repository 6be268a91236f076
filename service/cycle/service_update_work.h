#pragma once

#include <memory>

#include "check_for_updates.h"
#include "client_pipe_server.h"
#include "install_pipe_protocol.h"
#include "install_pipe_server.h"
#include "update_work.h"
#include "verified_update_lookup.h"

namespace zvu {

// The service's real work behind its frame: clients register with the pipe
// server, the check fetches and compares the catalogue, and a catalogue with
// an applicable update goes to the client the pipe server chooses (starting
// one in a user's session when none has registered). Beside the registration
// thread runs the install pipe, on which users' clients ask the service to
// install a verified update through `install`; it finds updates in the latest
// check's catalogue text.
class ServiceUpdateWork final : public UpdateWork {
 public:
  explicit ServiceUpdateWork(InstallFunction install = {})
      : installPipe_(kInstallPipeName, std::move(install),
                     std::make_shared<ServiceCatalogueSource>(latestCatalogue_)) {}

  HRESULT StartRegistrationThread() override {
    installPipe_.Start();
    return pipeServer_.StartRegistrationThread();
  }
  void StopRegistrationThread() override {
    installPipe_.Stop();
    pipeServer_.StopRegistrationThread();
  }

  HRESULT CheckForUpdates(std::string& updateXml, HANDLE stopEvent) override {
    const HRESULT result = zvu::CheckForUpdates(updateXml, stopEvent, &keptCatalogue_);
    if (result == S_OK) latestCatalogue_->Set(updateXml);
    return result;
  }

  HRESULT SendCatalogue(const std::string& text, HANDLE stopEvent) override {
    return pipeServer_.SendCatalogue(text, stopEvent);
  }

 private:
  ClientPipeServer pipeServer_;
  // The last catalogue the server sent with validators; only the main thread
  // (the update check) uses it.
  KeptCatalogue keptCatalogue_;
  // Shared with the install pipe's threads (see LatestCatalogue); held by
  // shared ownership, as a thread may outlive a stop that timed out.
  std::shared_ptr<LatestCatalogue> latestCatalogue_ = std::make_shared<LatestCatalogue>();
  InstallPipeServer installPipe_;
};

}  // namespace zvu
