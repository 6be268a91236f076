#include "net_command_wait.h"

#include <msiquery.h>

#include <algorithm>
#include <cwchar>

#include "hooks_texts.h"
#include "installer_session.h"
#include "setup_log.h"
#include "unique_handle.h"

namespace zvu::hooks {
namespace {

// The growing wait between two steps of the bar, as a multiple of 800 ms.
int WaitFactor(int ticks, int factor) {
  if (ticks > 52) return 16;
  if (ticks > 48) return 8;
  if (ticks > 40) return 4;
  if (ticks > 25) return 2;
  return factor;
}

}  // namespace

bool ProcessEnded(HANDLE process, DWORD waitMs) {
  return WaitForSingleObject(process, waitMs) != WAIT_TIMEOUT;
}

void LogNetExitCode(HANDLE process) {
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) return;
  wchar_t entry[64] = {};
  swprintf(entry, 64, texts::kNetExitCodeEntry, static_cast<unsigned long>(code));
  Log(entry);
}

void WaitWithStartProgress(MSIHANDLE session, HANDLE process, DWORD boundMs) {
  constexpr int kTotalTicks = 60;
  constexpr int kStepTicks = 2;
  constexpr int kLastSteppedTicks = 58;
  constexpr int kFilledSteps = 59;
  UniqueMsiHandle reset(MsiCreateRecord(3));
  UniqueMsiHandle step(MsiCreateRecord(3));
  if (reset) SendProgress(session, reset.get(), 0, kTotalTicks, 0);
  auto sendStep = [&] {
    if (step) SendProgress(session, step.get(), 2, kStepTicks, 0);
  };

  const ULONGLONG started = GetTickCount64();
  // What is left of the bound, never more than the wanted wait.
  auto slice = [&](DWORD wantedMs) -> DWORD {
    const ULONGLONG elapsed = GetTickCount64() - started;
    if (elapsed >= boundMs) return 0;
    return static_cast<DWORD>(std::min<ULONGLONG>(wantedMs, boundMs - elapsed));
  };

  int ticks = 0;
  bool ended = ProcessEnded(process, slice(800));
  if (!ended) {
    int factor = 1;
    for (;;) {
      if (GetTickCount64() - started >= boundMs) break;
      ticks += kStepTicks;
      factor = WaitFactor(ticks, factor);
      if (ticks < kLastSteppedTicks) sendStep();
      if (ProcessEnded(process, slice(static_cast<DWORD>(factor) * 800))) {
        ended = true;
        break;
      }
    }
  }
  if (ended) {
    LogNetExitCode(process);
  } else {
    wchar_t entry[96] = {};
    swprintf(entry, 96, texts::kNetWaitBoundEntry, static_cast<unsigned long>(boundMs / 1000));
    Log(entry);
  }
  // The command is done (or no longer waited for): fill the bar quickly.
  for (int remaining = kFilledSteps - ticks; remaining > 0; --remaining) {
    sendStep();
    Sleep(20);
  }
}

}  // namespace zvu::hooks
