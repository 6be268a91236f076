#pragma once

#include <windows.h>

#include <string>

#include "child_process.h"
#include "program_log.h"

namespace zvu::test {

// Points the program log at a fresh file for one test.
class ScopedProgramLog {
 public:
  explicit ScopedProgramLog(const std::string& name) : path_(TempFile(name)) {
    DeleteFileA(path_.c_str());
    ProgramLog::Open(path_.c_str());
  }
  ~ScopedProgramLog() {
    ProgramLog::Close();
    DeleteFileA(path_.c_str());
  }
  std::string Text() const {
    ProgramLog::Close();
    std::string text = ReadWholeFile(path_);
    // Reopening writes from the start again: keep appending after the text.
    ProgramLog::Open(path_.c_str());
    ProgramLog::Write(text);
    return text;
  }

 private:
  std::string path_;
};

}  // namespace zvu::test
