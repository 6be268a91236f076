#pragma once

// Helpers of the pipe and session tests: child programs beside the test
// program, their record files, and waiting for conditions.

#include <windows.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "test_env.h"

namespace zvu::test {

inline std::string ExeDir() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir = path;
  return dir.substr(0, dir.find_last_of('\\') + 1);
}

// "path" with quotes, for command lines.
inline std::string Quote(const std::string& path) {
  std::string quoted(1, '"');
  quoted.append(path).push_back('"');
  return quoted;
}

inline std::string TempFile(const std::string& name) {
  char dir[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + name;
}

// Polls condition every 20 ms until it holds or timeoutMs has passed.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
}

// A child process that is ended when the object goes.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const std::string& commandLine, DWORD flags = 0) { Start(commandLine, flags); }
  ~ChildProcess() { Kill(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const std::string& commandLine, DWORD flags = 0) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                        &startup, &info_)) {
      info_ = {};
      return false;
    }
    CloseHandle(info_.hThread);
    info_.hThread = nullptr;
    return true;
  }
  void Kill() {
    if (info_.hProcess == nullptr) return;
    TerminateProcess(info_.hProcess, 9);
    WaitForSingleObject(info_.hProcess, 5000);
    CloseHandle(info_.hProcess);
    info_ = {};
  }
  bool WaitExit(DWORD timeoutMs) const {
    return WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0;
  }
  DWORD Id() const { return info_.dwProcessId; }
  HANDLE Process() const { return info_.hProcess; }

 private:
  PROCESS_INFORMATION info_{};
};

inline std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream text(ReadWholeFile(path));
  std::string line;
  while (std::getline(text, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

inline std::vector<std::string> LinesStartingWith(const std::string& path, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : ReadLines(path)) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line.substr(prefix.size()));
  }
  return found;
}

inline std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : bytes) {
    hex.push_back(digits[b >> 4]);
    hex.push_back(digits[b & 15]);
  }
  return hex;
}

}  // namespace zvu::test
