#include "log_capture.h"

#include <windows.h>

#include "program_log.h"
#include "temp_files.h"
#include "test_env.h"

namespace zvu::test {

LogCapture::LogCapture(const std::string& name) : path_(TempFilePath(name + ".log")) {
  opened_ = ProgramLog::Open(path_.c_str());
}

LogCapture::~LogCapture() {
  ProgramLog::Close();
  DeleteFileA(path_.c_str());
}

std::string LogCapture::Text() const { return ReadWholeFile(path_); }

size_t LogCapture::Count(const std::string& text) const {
  if (text.empty()) return 0;
  const std::string all = Text();
  size_t count = 0;
  for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
  return count;
}

ProgramLogCloser::~ProgramLogCloser() { ProgramLog::Close(); }

}  // namespace zvu::test
