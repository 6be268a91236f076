#include "bad_request_limit.h"

namespace zvu {

BadRequestLimit::BadRequestLimit(Clock clock) : clock_(clock) {}

BadRequestLimit::Decision BadRequestLimit::OnRequest() {
  const ULONGLONG now = clock_();
  std::lock_guard<std::mutex> lock(mutex_);
  Decision decision;
  if (reported_ && now - lastReportMs_ < kIntervalMs) {
    if (heldBack_ != MAXDWORD) ++heldBack_;
    return decision;
  }
  reported_ = true;
  lastReportMs_ = now;
  decision.report = true;
  decision.heldBack = heldBack_;
  heldBack_ = 0;
  return decision;
}

DWORD BadRequestLimit::TakeHeldBack(bool now) {
  const ULONGLONG time = clock_();
  std::lock_guard<std::mutex> lock(mutex_);
  if (heldBack_ == 0) return 0;
  if (!now && time - lastReportMs_ < kIntervalMs) return 0;
  const DWORD count = heldBack_;
  heldBack_ = 0;
  return count;
}

}  // namespace zvu
