#include "failure_notice.h"

#include <windows.h>

#include <utility>

namespace zvu {

bool ProcessWindowStationVisible() {
  // A pseudo-free handle that the process does not own and must not close.
  // Reading UOI_FLAGS needs WINSTA_READATTRIBUTES on it; the handle the
  // system gives the process at its start carries the rights the process's
  // token was granted on its window station, which include reading its
  // attributes for local system and for the interactive user alike.
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
