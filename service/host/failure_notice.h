#pragma once

#include <string>

#include "event_reporter.h"

namespace zvu {

// True when the process's window station is the interactive one, whose
// desktops someone can see (UOI_FLAGS holds WSF_VISIBLE). False for the
// window stations of services in session 0, and when the flags cannot be read.
bool ProcessWindowStationVisible();

// Tells an administrator why /Service or /UnregServer failed. Where the
// process's window station is visible, in a message box captioned with the
// service name; elsewhere (the package runs both switches as local system in
// session 0) no one could see or close the box and the installer would wait
// for ever, so the same text goes to the event log instead. The exit code
// reports the failure in both cases.
class FailureNotice {
 public:
  using VisibilityQuery = bool (*)();

  FailureNotice(std::string caption, const EventReporter& events,
                VisibilityQuery windowStationVisible = &ProcessWindowStationVisible);

  void Tell(const char* text) const;

 private:
  std::string caption_;
  const EventReporter& events_;
  VisibilityQuery windowStationVisible_;
};

}  // namespace zvu
