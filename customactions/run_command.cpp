#include "run_command.h"

#include <cwchar>
#include <vector>

#include "hooks_texts.h"
#include "setup_log.h"

namespace zvu::hooks {

UniqueHandle RunCommand(const std::wstring& commandLine, bool wait, const std::wstring& program) {
  Log(commandLine + L"\n");

  // CreateProcessW may write into the command line.
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(program.empty() ? nullptr : program.c_str(), writable.data(), nullptr,
                      nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)) {
    const DWORD error = GetLastError();
    wchar_t entry[64] = {};
    swprintf(entry, 64, texts::kCommandFailedEntry, static_cast<int>(error));
    Log(entry);
    return {};
  }
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  if (wait) WaitForSingleObject(process.get(), INFINITE);
  return process;
}

std::wstring SystemProgramPath(const wchar_t* fileName) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::wstring path(folder, length);
  if (path.back() != L'\\') path += L'\\';
  return path + fileName;
}

}  // namespace zvu::hooks
