#pragma once

#include <windows.h>

#include <mutex>

namespace zvu {

// How often a bad service request is reported as an event: local users may
// send the user-defined control codes (128 to 255) to the service, and an
// event for each would let them fill the event log. The first request is
// reported, then at most one per interval; the ones held back in between are
// counted and their number is reported once the interval has passed (with
// the next reported request, on a later timer tick, or at the stop).
// Called from the control handler's thread and the main thread.
class BadRequestLimit {
 public:
  using Clock = ULONGLONG (*)();
  static constexpr ULONGLONG kIntervalMs = 60000;

  // `clock` counts milliseconds (GetTickCount64 unless a test gives its own).
  explicit BadRequestLimit(Clock clock = &GetTickCount64);

  struct Decision {
    bool report = false;      // report this request
    DWORD heldBack = 0;       // requests held back before it, to report first
  };
  // A bad request came.
  Decision OnRequest();
  // The number of held-back requests to report now (then counted as
  // reported): once the interval since the last reported request has
  // passed, or at once with `now`; 0 when there is none to report.
  DWORD TakeHeldBack(bool now = false);

 private:
  Clock clock_;
  std::mutex mutex_;  // guards the three fields below
  bool reported_ = false;
  ULONGLONG lastReportMs_ = 0;
  DWORD heldBack_ = 0;
};

}  // namespace zvu
