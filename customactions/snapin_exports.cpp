// Registering and unregistering the product's management snap-in.
#include <windows.h>

#include <string>
#include <vector>

#include "guarded.h"
#include "hooks_texts.h"
#include "installer_session.h"
#include "msihooks.h"
#include "run_command.h"
#include "setup_log.h"

using namespace zvu::hooks;
using zvu::UniqueHandle;

namespace {

constexpr wchar_t kSnapinFile[] = L"IISQuilletSnapin.dll";

// 8-bit text in the thread's code page as UTF-16; empty for none.
std::wstring WideText(LPCSTR text) {
  if (text == nullptr || *text == '\0') return {};
  const int size = MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0);
  if (size <= 1) return {};
  std::vector<wchar_t> wide(static_cast<size_t>(size));
  if (MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, wide.data(), size) <= 0) return {};
  return std::wstring(wide.data());
}

// Runs the registration program from the system directory by its full
// path, so that no "regsvr32.exe" in the current directory is started.
UINT RunRegistration(const std::wstring& commandLine) {
  const std::wstring program = SystemProgramPath(L"regsvr32.exe");
  if (program.empty()) return kActionFailed;
  const UniqueHandle registration = RunCommand(commandLine, true, program);
  return registration ? kActionSuccess : kActionFailed;
}

}  // namespace

UINT __stdcall InstallSnapin(MSIHANDLE, LPCSTR systemFolder) {
  return Guarded(kActionFailed, [&] {
    Log(texts::kInstallSnapinEntry);
    const std::wstring folder = WideText(systemFolder);
    if (folder.empty()) return kActionSuccess;
    return RunRegistration(L"regsvr32 /s \"" + folder + kSnapinFile + L"\"");
  });
}

UINT __stdcall UninstallSnapin(MSIHANDLE session) {
  return Guarded(kActionFailed, [&] {
    Log(texts::kUninstallSnapinEntry);
    ShowActionText(session, texts::kUninstallingSnapin);
    const FolderProperty systemFolder = ReadFolderProperty(session, L"SystemFolder");
    if (!systemFolder.readable) return kActionFailed;
    if (systemFolder.value.empty()) return kActionSuccess;
    return RunRegistration(L"regsvr32 /u /s \"" + systemFolder.value + kSnapinFile + L"\"");
  });
}
