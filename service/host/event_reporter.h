#pragma once

#include <string>

namespace zvu {

// Writes information messages to the Windows event log under the service's
// name as event source; when the program does not run as a service it also
// prints them to standard output.
class EventReporter {
 public:
  explicit EventReporter(std::string sourceName);

  void SetPrintToConsole(bool print);
  void Report(const char* message) const;

 private:
  std::string sourceName_;
  bool printToConsole_ = false;
};

}  // namespace zvu
