#pragma once

#include <windows.h>

#include <string>

namespace zvu {

// The id of every event the service reports; the program's message table
// holds one message of this id, "%1", so that the Event Viewer shows the
// event's one string as its text.
inline constexpr DWORD kEventId = 0;

// Writes messages to the Windows event log under the service's name as event
// source, each as event id 0 with the message as its one string (the
// program's message table turns that id into the string itself); when the
// program does not run as a service it also prints them to standard output.
class EventReporter {
 public:
  explicit EventReporter(std::string sourceName);

  void SetPrintToConsole(bool print);
  // An information event.
  void Report(const char* message) const;
  // An error event: a failure of /Service or /UnregServer that no one could
  // have seen in a message box.
  void ReportError(const char* message) const;

 private:
  void Write(WORD type, const char* message) const;

  std::string sourceName_;
  bool printToConsole_ = false;
};

}  // namespace zvu
