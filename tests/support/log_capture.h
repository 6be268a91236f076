#pragma once

#include <string>

namespace zvu::test {

// Sends the program log to a fresh file for one test and reads it back.
class LogCapture {
 public:
  explicit LogCapture(const std::string& name);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  std::string Text() const;

 private:
  std::string path_;
};

}  // namespace zvu::test
