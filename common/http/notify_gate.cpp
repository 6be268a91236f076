#include "notify_gate.h"

#include <commctrl.h>

#include <algorithm>

#include "http_client.h"
#include "transfer_core.h"

namespace zvu::http_detail {
namespace {

LRESULT CALLBACK GateProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                               UINT_PTR id, DWORD_PTR data) {
  auto* core = reinterpret_cast<std::shared_ptr<ClientCore>*>(data);
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, &GateProcedure, id);
    delete core;
    return DefSubclassProc(window, message, wParam, lParam);
  }
  if (message != HttpClientNotifyMessage() ||
      wParam != reinterpret_cast<WPARAM>((*core)->owner)) {
    return DefSubclassProc(window, message, wParam, lParam);
  }
  ClientCore& shared = **core;
  {
    std::lock_guard<std::mutex> guard(shared.lock);
    if (shared.ownerGone) return 0;
    ++shared.deliveriesInProgress;
  }
  const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
  {
    std::lock_guard<std::mutex> guard(shared.lock);
    --shared.deliveriesInProgress;
  }
  SetEvent(shared.quiet.get());
  return result;
}

}  // namespace

bool InstallNotifyGate(const std::shared_ptr<ClientCore>& core, HWND window) {
  if (window == nullptr || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
    return false;
  }
  {
    std::lock_guard<std::mutex> guard(core->lock);
    auto& gated = core->gatedWindows;
    if (std::find(gated.begin(), gated.end(), window) != gated.end()) return true;
  }
  // Each client has its own gate on a window: its id is the core's address.
  auto* share = new std::shared_ptr<ClientCore>(core);
  if (!SetWindowSubclass(window, &GateProcedure, reinterpret_cast<UINT_PTR>(core.get()),
                         reinterpret_cast<DWORD_PTR>(share))) {
    delete share;
    return false;
  }
  std::lock_guard<std::mutex> guard(core->lock);
  core->gatedWindows.push_back(window);
  return true;
}

}  // namespace zvu::http_detail
