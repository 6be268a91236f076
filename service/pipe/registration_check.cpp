#include "registration_check.h"

namespace zvu {
namespace {

// NtQueryObject with ObjectBasicInformation (class 0), looked up at run time.
struct ObjectBasicInformation {
  ULONG attributes;
  ACCESS_MASK grantedAccess;
  ULONG handleCount;
  ULONG pointerCount;
  ULONG reserved[10];
};
using NtQueryObjectFunction = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
constexpr int kObjectBasicInformationClass = 0;

NtQueryObjectFunction FindNtQueryObject() {
  static const NtQueryObjectFunction function = [] {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return NtQueryObjectFunction{};
    return reinterpret_cast<NtQueryObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryObject")));
  }();
  return function;
}

bool GrantedAccess(HANDLE handle, ACCESS_MASK* granted) {
  const NtQueryObjectFunction query = FindNtQueryObject();
  if (query == nullptr) return false;
  ObjectBasicInformation information{};
  ULONG size = 0;
  if (query(handle, kObjectBasicInformationClass, &information, sizeof(information), &size) != 0) {
    return false;
  }
  *granted = information.grantedAccess;
  return true;
}

bool IsStandardHandle(HANDLE handle) {
  for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    if (GetStdHandle(which) == handle) return true;
  }
  return false;
}

bool IsPipeWriteEnd(HANDLE pipe) {
  // The access comes first: it is read without touching the file object,
  // while the file type query may wait for a synchronous read that another
  // thread has pending on a read end.
  ACCESS_MASK granted = 0;
  if (!GrantedAccess(pipe, &granted)) return false;
  if ((granted & (FILE_WRITE_DATA | GENERIC_WRITE | GENERIC_ALL)) == 0) return false;
  if ((granted & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL)) != 0) return false;
  return GetFileType(pipe) == FILE_TYPE_PIPE;
}

}  // namespace

bool IsAcceptableHandle(const ClientTable& table, HANDLE servedInstance, DWORD clientProcessId,
                        HANDLE pipe) {
  if (pipe == nullptr || pipe == INVALID_HANDLE_VALUE) return false;
  if (pipe == servedInstance || IsStandardHandle(pipe)) return false;
  HANDLE known = nullptr;
  const bool sameClientSameHandle = table.Lookup(clientProcessId, &known) && known == pipe;
  if (!sameClientSameHandle && table.HoldsHandle(pipe)) return false;
  return IsPipeWriteEnd(pipe);
}

}  // namespace zvu
