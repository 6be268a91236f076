#pragma once

// Child programs of a test: programs beside the test program, the desktop
// shell, and the record files that test clients write.

#include <windows.h>
#include <tlhelp32.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "test_env.h"
#include "wait_until.h"

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

// Programs started from here, directly or by the system on our behalf (the
// desktop shell that Wine starts when a desktop is needed), would otherwise
// get this program's standard handles and hold the test runner's output
// pipes open after this program has ended. This program's own output keeps
// going through the C runtime, which took its handles at start.
inline bool KeepChildrenOffTheOutput() {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inheritable, OPEN_EXISTING, 0, nullptr);
  if (nul == INVALID_HANDLE_VALUE) return false;
  SetStdHandle(STD_INPUT_HANDLE, nul);
  SetStdHandle(STD_OUTPUT_HANDLE, nul);
  SetStdHandle(STD_ERROR_HANDLE, nul);
  return true;
}

// The id of a running process of that program name (the first one found), or 0.
inline DWORD FindProcess(const char* exeName) {
  DWORD found = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot, &entry); more && found == 0;
       more = Process32Next(snapshot, &entry)) {
    if (std::strcmp(entry.szExeFile, exeName) == 0) found = entry.th32ProcessID;
  }
  CloseHandle(snapshot);
  return found;
}

inline DWORD FindShell() { return FindProcess("explorer.exe"); }

// The id of the desktop's shell process. Wine ends its desktop shell some
// seconds after the last program using the desktop has gone. It is started
// again here with its standard handles on NUL, so that it does not hold the
// test runner's output pipes open, and kept while this program runs.
inline DWORD EnsureShellRunning() {
  DWORD shell = FindShell();
  if (shell == 0) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inheritable, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    char commandLine[] = "explorer.exe /desktop";
    PROCESS_INFORMATION started{};
    if (CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                       nullptr, &startup, &started)) {
      CloseHandle(started.hThread);
      CloseHandle(started.hProcess);
    }
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    WaitUntil([&] { return (shell = FindShell()) != 0; }, 10000);
  }
  GetDesktopWindow();
  return shell;
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
  // Ends the process and waits until it has ended, but keeps its handle:
  // while a handle is open the ended process's id still names it, and its
  // exit code can be read by id. False when it had not ended within 5 s.
  [[nodiscard]] bool EndKeepingHandle() {
    if (info_.hProcess == nullptr) return false;
    TerminateProcess(info_.hProcess, 9);
    return WaitForSingleObject(info_.hProcess, 5000) == WAIT_OBJECT_0;
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
