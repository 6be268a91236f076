#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "update_work.h"

namespace zvu {


// What the service does on each tick of its 5-second timer: every tenth tick
// (starting with the first) it checks for updates; while a catalogue with an
// applicable update waits, every tick tries to hand it to a client.
class UpdateCycle {
 public:
  static constexpr int32_t kTicksPerCheck = 10;

  // `stopEvent` (may be null) is passed on to the check and the hand-off;
  // once it is signalled, ticks do no more work.
  UpdateCycle(UpdateWork& work, HANDLE stopEvent);

  // Prepares a run: nothing pending, and the first tick checks at once.
  void Start();
  void OnTimerTick();

  int32_t CheckCounter() const { return checkCounter; }
  bool UpdatesPending() const { return updatesPending; }
  const std::string& UpdateXml() const { return m_strUpdateXml; }

 private:
  bool StopRequested() const;

  UpdateWork& work_;
  HANDLE stopEvent_;
  // These three names are fixed by the product's design (its records and
  // log text name them), so they keep them rather than the usual form.
  int32_t checkCounter = kTicksPerCheck;
  bool updatesPending = false;
  std::string m_strUpdateXml;
};

}  // namespace zvu
