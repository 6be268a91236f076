#include "client_pipe_server.h"

#include "catalogue_write.h"
#include "pipe_protocol.h"
#include "program_log.h"
#include "registration_thread.h"
#include "service_texts.h"

namespace zvu {
namespace {

// How long starting the registration thread waits for the first pipe instance.
constexpr DWORD kFirstInstanceWaitMs = 2000;

DWORD WINAPI RegistrationThreadMain(void* parameter) {
  std::unique_ptr<std::shared_ptr<RegistrationState>> state(
      static_cast<std::shared_ptr<RegistrationState>*>(parameter));
  return RegisterClient(**state);
}

}  // namespace

ClientPipeServer::ClientPipeServer(DWORD serviceProcessId, PipeInstanceFactory createInstance,
                                   ClientLauncher launch, DWORD handOffLimitMs)
    : state_(std::make_shared<RegistrationState>(serviceProcessId, createInstance)),
      launch_(std::move(launch)),
      handOffLimitMs_(handOffLimitMs) {}

ClientPipeServer::~ClientPipeServer() { StopRegistrationThread(); }

HRESULT ClientPipeServer::StartRegistrationThread() {
  if (registrationThread_) {
    if (WaitForSingleObject(registrationThread_.get(), 0) == WAIT_TIMEOUT) return 0;
    registrationThread_.reset();
  }
  if (!state_->stopEvent || !state_->firstInstanceTried) return kNoClient;
  ResetEvent(state_->stopEvent.get());
  ResetEvent(state_->firstInstanceTried.get());
  auto* parameter = new std::shared_ptr<RegistrationState>(state_);
  registrationThread_.reset(
      CreateThread(nullptr, 0, &RegistrationThreadMain, parameter, 0, nullptr));
  if (!registrationThread_) {
    delete parameter;
    return kNoClient;
  }
  // A client started right after the service must find the pipe: wait until
  // the first instance exists (or could not be made), briefly.
  HANDLE ready[] = {state_->firstInstanceTried.get(), registrationThread_.get()};
  WaitForMultipleObjects(2, ready, FALSE, kFirstInstanceWaitMs);
  return 0;
}

bool ClientPipeServer::StopRegistrationThread(DWORD timeoutMs, DWORD* exitCode) {
  if (!registrationThread_) return true;
  SetEvent(state_->stopEvent.get());
  // The thread holds its own share of the state, so it may outlive us safely.
  const bool ended = WaitForSingleObject(registrationThread_.get(), timeoutMs) == WAIT_OBJECT_0;
  if (ended && exitCode != nullptr) GetExitCodeThread(registrationThread_.get(), exitCode);
  registrationThread_.reset();
  return ended;
}

HRESULT ClientPipeServer::FindClient(ChosenClient* chosen) {
  SessionInspector inspector;
  return zvu::FindClient(state_->table, inspector, launch_, chosen);
}

ClientTable& ClientPipeServer::Clients() { return state_->table; }

HRESULT ClientPipeServer::SendCatalogue(const std::string& text, HANDLE stopEvent) {
  std::erase_if(givenUp_, [](const GivenUpWrite& given) { return given.write->Finished(); });
  ChosenClient chosen;
  if (FindClient(&chosen) != 0) return kNoClient;
  const int pid = static_cast<int>(chosen.processId);
  // A write given up earlier that still blocks in this client's pipe must
  // end before the next one starts, or the two catalogues would mix there.
  for (const GivenUpWrite& given : givenUp_) {
    if (given.processId == chosen.processId) {
      ProgramLog::Printf(texts::kHandOffStillBlocked, pid);
      return kNoClient;
    }
  }
  HANDLE pipe = state_->table.DuplicateForWrite(chosen.processId, chosen.pipe);
  if (pipe == nullptr) return kNoClient;

  std::string bytes = text;
  bytes.push_back(static_cast<char>(kCatalogueEndMarker));
  // The copy goes back to the table when the write is done with it; the
  // write holds the state, so the table is still there then.
  std::shared_ptr<CatalogueWrite> write = CatalogueWrite::Start(
      pipe, std::move(bytes), [state = state_](HANDLE copy) { state->table.ReturnLent(copy); });
  if (!write) return kNoClient;
  switch (write->Wait(stopEvent, handOffLimitMs_)) {
    case CatalogueWrite::Outcome::kWritten:
      return 0;
    case CatalogueWrite::Outcome::kPipeGone:
      // Nobody can read this pipe any more (its process id may live on in
      // another process): forget it so that another client can be chosen.
      state_->table.RemoveAndClose(chosen.processId, chosen.pipe);
      ProgramLog::Printf(texts::kClientGoneDuringHandOff, pid);
      return kNoClient;
    case CatalogueWrite::Outcome::kTimedOut:
      // A client that takes nobody's catalogue holds up no one: it is
      // forgotten (it may register again), and the catalogue stays pending.
      state_->table.RemoveAndClose(chosen.processId, chosen.pipe);
      if (!write->Finished()) givenUp_.push_back({chosen.processId, std::move(write)});
      ProgramLog::Printf(texts::kHandOffTimedOut, pid,
                         static_cast<unsigned long>(handOffLimitMs_ / 1000));
      return kNoClient;
    case CatalogueWrite::Outcome::kStopped:
      givenUp_.push_back({chosen.processId, std::move(write)});
      ProgramLog::Printf(texts::kHandOffStopped, pid);
      return kNoClient;
    case CatalogueWrite::Outcome::kFailed:
      // A write cancelled on stop ends as failed.
      if (stopEvent != nullptr && WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) {
        ProgramLog::Printf(texts::kHandOffStopped, pid);
      }
      break;
  }
  return kNoClient;
}

}  // namespace zvu
