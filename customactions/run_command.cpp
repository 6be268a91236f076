#include "run_command.h"

#include <cwchar>
#include <vector>

#include "hooks_texts.h"
#include "setup_log.h"

namespace zvu::hooks {

namespace {

// The null device, inheritable, for a child's standard handles.
UniqueFileHandle OpenNullDevice() {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  return UniqueFileHandle(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

UniqueHandle RunCommand(const std::wstring& commandLine, bool wait, const std::wstring& program,
                        bool nullInput) {
  Log(commandLine + L"\n");

  // CreateProcessW may write into the command line.
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');

  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof(startup.StartupInfo);
  DWORD flags = CREATE_NO_WINDOW;
  BOOL inherit = FALSE;
  // With the null device, the child inherits that one handle and no other
  // inheritable handle of the installer's process.
  UniqueFileHandle nullDevice;
  std::vector<unsigned char> attributeSpace;
  HANDLE inherited[1] = {};
  if (nullInput) {
    nullDevice = OpenNullDevice();
    SIZE_T bytes = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &bytes);
    attributeSpace.resize(bytes);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeSpace.data());
    if (nullDevice && bytes > 0 && InitializeProcThreadAttributeList(attributes, 1, 0, &bytes)) {
      inherited[0] = nullDevice.get();
      if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                    sizeof(inherited), nullptr, nullptr)) {
        startup.lpAttributeList = attributes;
        startup.StartupInfo.cb = sizeof(startup);
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = nullDevice.get();
        startup.StartupInfo.hStdOutput = nullDevice.get();
        startup.StartupInfo.hStdError = nullDevice.get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
        inherit = TRUE;
      } else {
        DeleteProcThreadAttributeList(attributes);
      }
    }
  }
  PROCESS_INFORMATION started = {};
  const BOOL created =
      CreateProcessW(program.empty() ? nullptr : program.c_str(), writable.data(), nullptr,
                     nullptr, inherit, flags, nullptr, nullptr, &startup.StartupInfo, &started);
  const DWORD createError = GetLastError();
  if (startup.lpAttributeList) DeleteProcThreadAttributeList(startup.lpAttributeList);
  SetLastError(createError);
  if (!created) {
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
