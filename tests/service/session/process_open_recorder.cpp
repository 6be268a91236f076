#include "process_open_recorder.h"

#include <mutex>

namespace zvu::test {
namespace {

using OpenProcessFunction = HANDLE(WINAPI*)(DWORD, BOOL, DWORD);

std::mutex g_lock;
OpenProcessFunction g_original = nullptr;
std::vector<DWORD> g_opened;

HANDLE WINAPI RecordingOpenProcess(DWORD access, BOOL inherit, DWORD processId) {
  OpenProcessFunction original = nullptr;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_opened.push_back(processId);
    original = g_original;
  }
  return original(access, inherit, processId);
}

// The import address table entries of this program that hold target.
std::vector<void**> ImportSlots(void* target) {
  std::vector<void**> slots;
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return slots;
  for (auto* module = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       module->Name != 0; ++module) {
    for (auto* slot = reinterpret_cast<void**>(base + module->FirstThunk); *slot != nullptr; ++slot) {
      if (*slot == target) slots.push_back(slot);
    }
  }
  return slots;
}

bool WriteSlot(void** slot, void* value) {
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) return false;
  *slot = value;
  VirtualProtect(slot, sizeof(*slot), protection, &protection);
  return true;
}

}  // namespace

ProcessOpenRecorder::ProcessOpenRecorder() {
  void* target = reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "OpenProcess"));
  if (target == nullptr) return;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_original = reinterpret_cast<OpenProcessFunction>(target);
    g_opened.clear();
  }
  for (void** slot : ImportSlots(target)) {
    if (WriteSlot(slot, reinterpret_cast<void*>(&RecordingOpenProcess))) slots_.push_back(slot);
  }
}

ProcessOpenRecorder::~ProcessOpenRecorder() {
  for (void** slot : slots_) WriteSlot(slot, reinterpret_cast<void*>(g_original));
}

std::vector<DWORD> ProcessOpenRecorder::Opened() const {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_opened;
}

}  // namespace zvu::test
