// Clean-up of an older installation and of files the package does not track.
#include <windows.h>
#include <msiquery.h>

#include <string>

#include "guarded.h"
#include "hooks_texts.h"
#include "installer_session.h"
#include "machine_registry.h"
#include "msihooks.h"
#include "unique_handle.h"
#include "setup_log.h"

using namespace zvu::hooks;
using zvu::UniqueRegKey;

namespace {

constexpr wchar_t kProductKey[] = L"Software\\Zelko\\IISQuillet\\";
constexpr wchar_t kLocalDirectory[] = L"local directory";
constexpr wchar_t kOldUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"{A9B504BA-BEAB-4F33-9CC2-E202486B39DD}";
constexpr wchar_t kQuietUninstall[] =
    L"MsiExec.exe /X{A9B504BA-BEAB-4F33-9CC2-E202486B39DD} /quiet";

// The older installation's files, in the order they are deleted.
constexpr const wchar_t* kOldFiles[] = {
    L"addfilter.vbs",        L"EULA.rtf",         L"icon_lock3.ico",
    L"IISQuillet.chm",       L"installer.bmp",    L"VuroUpdateIISQuillet.exe",
    L"remfilter.vbs",        L"RestartW3SVC.exe", L"userline.exe",
    L"install.exe",          L"uninstall.exe",    L"IISQuilletSnapin.dll",
    L"IISQuilletFilter.dll",
};

// A path that names its drive or share. A relative one would be resolved
// against whatever the engine's current directory is.
bool IsFullyQualified(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) {
    return true;
  }
  return path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
}

// Deletes the snap-in and the filter from the system folder.
void DeleteSystemFiles(const std::wstring& systemFolder) {
  DeleteFileW((systemFolder + L"IISQuilletSnapin.dll").c_str());
  DeleteFileW((systemFolder + L"inetsrv\\IISQuilletFilter.dll").c_str());
}

}  // namespace

UINT __stdcall CheckPrevVersion(MSIHANDLE session) {
  return Guarded(kActionSuccess, [&] {
    Log(texts::kCheckPrevVersionEntry);
    if (!ReadMachineString(kProductKey, kLocalDirectory).empty()) {
      MsiSetPropertyW(session, L"PrevVersion", L"YES");
      MsiSetPropertyW(session, L"PrevVersionText", texts::kPrevVersionNote);
    }
    return kActionSuccess;
  });
}

UINT __stdcall DeletePrevFiles(MSIHANDLE session) {
  return Guarded(kActionFailed, [&] {
    Log(texts::kDeletePrevFilesEntry);
    ShowActionText(session, texts::kDeletingPrevFiles);
    const std::wstring directory = ReadMachineString(kProductKey, kLocalDirectory);
    if (directory.empty()) return kActionSuccess;
    if (IsFullyQualified(directory)) {
      RemoveDirectoryW((directory + L"\\ErrorDoc").c_str());
      for (const wchar_t* name : kOldFiles) DeleteFileW((directory + L"\\" + name).c_str());
      RemoveDirectoryW(directory.c_str());
    }
    const FolderProperty systemFolder = ReadFolderProperty(session, L"SystemFolder");
    if (!systemFolder.readable) return kActionFailed;
    if (!systemFolder.value.empty()) DeleteSystemFiles(systemFolder.value);
    return kActionSuccess;
  });
}

UINT __stdcall DeletePrevRegEntries(MSIHANDLE) {
  return Guarded(kActionSuccess, [] {
    Log(texts::kDeletePrevRegEntriesEntry);
    // The older setup's entry is changed in the view it was found in (a
    // 32-bit setup's sits in the 32-bit view); with no entry in either view,
    // one is made in this module's own view, as it always was.
    const REGSAM view = FindMachineKeyView(kOldUninstallKey);
    UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kOldUninstallKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE | view, nullptr, key.put(), nullptr) == ERROR_SUCCESS) {
      RegSetValueExW(key.get(), L"UninstallString", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(kQuietUninstall), sizeof(kQuietUninstall));
    }
    return kActionSuccess;
  });
}

UINT __stdcall DeleteInstallFiles(MSIHANDLE session) {
  return Guarded(kActionFailed, [&] {
    Log(texts::kDeleteInstallFilesEntry);
    const FolderProperty targetDir = ReadFolderProperty(session, L"TARGETDIR");
    if (!targetDir.readable) return kActionFailed;
    if (!targetDir.value.empty()) DeleteFileW((targetDir.value + L"addfilter.vbs").c_str());
    return kActionSuccess;
  });
}

UINT __stdcall DeleteAllForUninstall(MSIHANDLE session) {
  return Guarded(kActionFailed, [&] {
    const FolderProperty systemFolder = ReadFolderProperty(session, L"SystemFolder");
    if (!systemFolder.readable) return kActionFailed;
    if (!systemFolder.value.empty()) DeleteSystemFiles(systemFolder.value);
    return kActionSuccess;
  });
}
