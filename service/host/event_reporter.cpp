#include "event_reporter.h"

#include <windows.h>

#include <cstdio>
#include <utility>

namespace zvu {

EventReporter::EventReporter(std::string sourceName) : sourceName_(std::move(sourceName)) {}

void EventReporter::SetPrintToConsole(bool print) { printToConsole_ = print; }

void EventReporter::Report(const char* message) const {
  Write(EVENTLOG_INFORMATION_TYPE, message);
}

void EventReporter::ReportError(const char* message) const { Write(EVENTLOG_ERROR_TYPE, message); }

void EventReporter::Write(WORD type, const char* message) const {
  HANDLE source = RegisterEventSourceA(nullptr, sourceName_.c_str());
  if (source != nullptr) {
    const char* strings[] = {message};
    ReportEventA(source, type, 0, kEventId, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
  }
  if (printToConsole_) {
    std::printf("%s\n", message);
    std::fflush(stdout);
  }
}

}  // namespace zvu
