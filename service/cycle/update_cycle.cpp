#include "update_cycle.h"

#include "program_log.h"
#include "service_texts.h"

namespace zvu {

UpdateCycle::UpdateCycle(UpdateWork& work, HANDLE stopEvent) : work_(work), stopEvent_(stopEvent) {}

void UpdateCycle::Start() {
  updatesPending = false;
  checkCounter = kTicksPerCheck;
}

bool UpdateCycle::StopRequested() const {
  return stopEvent_ != nullptr && WaitForSingleObject(stopEvent_, 0) == WAIT_OBJECT_0;
}

void UpdateCycle::OnTimerTick() {
  if (StopRequested()) return;

  if (++checkCounter >= kTicksPerCheck) {
    std::string fetched;
    const HRESULT result = work_.CheckForUpdates(fetched, stopEvent_);
    if (result == S_OK) m_strUpdateXml = std::move(fetched);
    // A check that read no catalogue leaves a waiting catalogue waiting: a
    // server that is down for a while must not take back what it offered.
    if (result != kCheckInconclusive) updatesPending = result == S_OK;
    checkCounter = 0;
  }

  if (updatesPending && !StopRequested()) {
    const std::string text = m_strUpdateXml;
    if (work_.SendCatalogue(text, stopEvent_) == S_OK) {
      ProgramLog::Write(texts::kCatalogueSentRecord);
      updatesPending = false;
    }
  }
}

}  // namespace zvu
