// Ending and starting the product's update program; looking for a running
// management console.
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <string>
#include <vector>

#include "guarded.h"
#include "hooks_texts.h"
#include "installer_session.h"
#include "msihooks.h"
#include "unique_handle.h"
#include "run_command.h"
#include "setup_log.h"

using namespace zvu::hooks;
using zvu::UniqueHandle;

namespace {

constexpr wchar_t kUpdateProgram[] = L"VuroUpdateIISQuillet.exe";
constexpr wchar_t kConsoleProgram[] = L"mmc.exe";

constexpr DWORD kProcessTableEntries = 1024;

// The program file name of a process, or empty when it cannot be read.
std::wstring ProgramFileName(DWORD processId) {
  UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process) return {};
  HMODULE program = nullptr;
  DWORD needed = 0;
  if (!EnumProcessModules(process.get(), &program, sizeof(program), &needed)) return {};
  wchar_t name[MAX_PATH] = {};
  const DWORD length = GetModuleBaseNameW(process.get(), program, name, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(name, length);
}

// Identifier of the first process in the system's list whose program file
// is named exactly (letter case included) so, or 0.
DWORD FirstProcessNamed(const wchar_t* fileName) {
  std::vector<DWORD> ids(kProcessTableEntries);
  DWORD bytes = 0;
  if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) return 0;
  ids.resize(bytes / sizeof(DWORD));
  for (DWORD id : ids) {
    if (ProgramFileName(id) == fileName) return id;
  }
  return 0;
}

using QuerySystemInformation = NTSTATUS(NTAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
constexpr ULONG kFirstProcessListBytes = 32768;
constexpr ULONG kLargestProcessListBytes = 64u << 20;

class HeapBlock {
 public:
  explicit HeapBlock(size_t bytes) : data_(HeapAlloc(GetProcessHeap(), 0, bytes)) {}
  ~HeapBlock() {
    if (data_) HeapFree(GetProcessHeap(), 0, data_);
  }
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;
  void* get() const { return data_; }

 private:
  void* data_;
};

std::wstring Lowered(std::wstring text) {
  if (!text.empty()) {
    LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, text.data(), static_cast<int>(text.size()),
                 text.data(), static_cast<int>(text.size()));
  }
  return text;
}

// Identifiers of the processes whose image name is the given one in any
// letter case, from the system's process list.
std::vector<ULONG_PTR> ProcessesNamedCaseless(const wchar_t* imageName) {
  std::vector<ULONG_PTR> found;
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return found;
  const auto query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "ZwQuerySystemInformation")));
  if (!query) return found;

  const std::wstring wanted = Lowered(imageName);
  for (ULONG size = kFirstProcessListBytes; size <= kLargestProcessListBytes; size *= 2) {
    HeapBlock buffer(size);
    if (!buffer.get()) return found;
    ULONG returned = 0;
    const NTSTATUS status = query(SystemProcessInformation, buffer.get(), size, &returned);
    if (status == kInfoLengthMismatch) continue;
    if (status < 0) return found;
    if (returned == 0 || returned > size) returned = size;

    const auto* base = static_cast<const BYTE*>(buffer.get());
    ULONG offset = 0;
    for (;;) {
      if (offset + sizeof(SYSTEM_PROCESS_INFORMATION) > returned) break;
      const auto* record = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(base + offset);
      // The name is counted, not terminated, and lies inside the list.
      std::wstring name = L"Idle";
      const auto* nameStart = reinterpret_cast<const BYTE*>(record->ImageName.Buffer);
      if (nameStart && record->ImageName.Length > 0 && nameStart >= base &&
          nameStart + record->ImageName.Length <= base + returned) {
        name.assign(record->ImageName.Buffer, record->ImageName.Length / sizeof(wchar_t));
      }
      if (Lowered(name) == wanted) {
        found.push_back(reinterpret_cast<ULONG_PTR>(record->UniqueProcessId));
      }
      if (record->NextEntryOffset == 0) break;
      offset += record->NextEntryOffset;
    }
    return found;
  }
  return found;
}

}  // namespace

UINT __stdcall KillVuroUpdate(MSIHANDLE) {
  return Guarded(kActionSuccess, [] {
    Log(texts::kKillVuroUpdateEntry);
    const DWORD id = FirstProcessNamed(kUpdateProgram);
    if (id == 0) return kActionSuccess;
    UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
    if (process) TerminateProcess(process.get(), 0);
    return kActionSuccess;
  });
}

UINT __stdcall StartVuroUpdate(MSIHANDLE session) {
  return Guarded(kActionFailed, [&] {
    Log(texts::kStartVuroUpdateEntry);
    ShowActionText(session, texts::kStartingVuroUpdate);
    const FolderProperty targetDir = ReadFolderProperty(session, L"TARGETDIR");
    if (!targetDir.readable) return kActionFailed;
    if (targetDir.value.empty()) return kActionSuccess;
    const UniqueHandle program =
        RunCommand(L"\"" + targetDir.value + kUpdateProgram + L"\"", false);
    return program ? kActionSuccess : kActionFailed;
  });
}

UINT __stdcall CheckMMC(MSIHANDLE) {
  return Guarded(0, [] {
    Log(texts::kCheckMmcEntry);
    return ProcessesNamedCaseless(kConsoleProgram).empty() ? 0u : 1u;
  });
}
