#include "log_capture.h"

#include <windows.h>

#include "program_log.h"
#include "temp_files.h"
#include "test_env.h"

namespace zvu::test {

LogCapture::LogCapture(const std::string& name) : path_(TempFilePath(name + ".log")) {
  ProgramLog::Open(path_.c_str());
}

LogCapture::~LogCapture() {
  ProgramLog::Close();
  DeleteFileA(path_.c_str());
}

std::string LogCapture::Text() const { return ReadWholeFile(path_); }

}  // namespace zvu::test
