#include "failure_notice.h"

#include <windows.h>

#include <utility>

namespace zvu {

bool ProcessWindowStationVisible() {
  // The handle belongs to the system and is not closed. The documentation
  // names GetUserObjectInformation among the calls it may be used for; should
  // the flags not be readable all the same, the answer is "not visible": an
  // event that no one needed is better than a box that no one can close.
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr) return false;
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (!GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof(flags), &needed)) return false;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

FailureNotice::FailureNotice(std::string caption, const EventReporter& events,
                             VisibilityQuery windowStationVisible)
    : caption_(std::move(caption)), events_(events), windowStationVisible_(windowStationVisible) {}

void FailureNotice::Tell(const char* text) const {
  if (windowStationVisible_()) {
    MessageBoxA(nullptr, text, caption_.c_str(), MB_OK);
  } else {
    events_.ReportError(text);
  }
}

}  // namespace zvu
