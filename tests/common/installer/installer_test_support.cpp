#include "installer_test_support.h"

#include <tlhelp32.h>

#include <vector>

#include "test_env.h"

namespace zvu::test {
namespace {


}  // namespace

std::string InstallersDir() {
  std::string dir = "Z:" ZVU_TEST_INSTALLERS_DIR;
  for (char& c : dir) {
    if (c == '/') c = '\\';
  }
  return dir;
}




std::string Utf16(const std::string& ascii, bool byteOrderMark) {
  std::string bytes = byteOrderMark ? "\xFF\xFE" : "";
  for (char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

std::string CopyFakeSetup(const std::string& folder, const std::string& name) {
  const std::string path = folder + "\\" + name;
  CopyFileA((InstallersDir() + "\\fake_setup.exe").c_str(), path.c_str(), FALSE);
  return path;
}

std::optional<DWORD> RunAndWait(const std::string& commandLine) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &started)) {
    return std::nullopt;
  }
  WaitForSingleObject(started.hProcess, INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(started.hProcess, &exitCode);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return exitCode;
}

std::string SystemMsiexec() {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  return std::string(system) + "\\msiexec.exe";
}

void RemoveAlpha() {
  for (const char* package : {"alpha-1.1.msi", "alpha-1.0.msi"}) {
    std::string line = "\"";
    line += SystemMsiexec();
    line += "\" /x \"";
    line += InstallersDir();
    line += "\\";
    line += package;
    line += "\" /qn";
    RunAndWait(line);
  }
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Zelko\\Alpha");
}

std::optional<DWORD> ProductDword(const std::string& product, const char* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, ("Software\\Zelko\\" + product).c_str(), name,
                   RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::string> ProductString(const std::string& product, const char* name) {
  char value[512] = {};
  DWORD size = sizeof value;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, ("Software\\Zelko\\" + product).c_str(), name,
                   RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(value);
}

bool ProcessRunning(const std::string& exeName) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  bool running = false;
  for (BOOL more = Process32First(snapshot, &entry); more && !running;
       more = Process32Next(snapshot, &entry)) {
    running = lstrcmpiA(entry.szExeFile, exeName.c_str()) == 0;
  }
  CloseHandle(snapshot);
  return running;
}

}  // namespace zvu::test
