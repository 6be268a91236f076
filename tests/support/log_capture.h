#pragma once

#include <cstddef>
#include <string>

namespace zvu::test {

// Sends the program log to a fresh file for one test and reads it back. The
// log is closed and the file removed when the capture goes out of scope,
// also when an assertion ends the test early.
class LogCapture {
 public:
  explicit LogCapture(const std::string& name);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  std::string Text() const;
  // How often text occurs in the log (occurrences may overlap).
  size_t Count(const std::string& text) const;
  // Whether the log could be opened on the capture's file.
  bool Opened() const { return opened_; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  bool opened_ = false;
};

// Closes the program log when it goes out of scope, for a test that opens
// the log on a file of its own.
class ProgramLogCloser {
 public:
  ProgramLogCloser() = default;
  ~ProgramLogCloser();
  ProgramLogCloser(const ProgramLogCloser&) = delete;
  ProgramLogCloser& operator=(const ProgramLogCloser&) = delete;
};

}  // namespace zvu::test
