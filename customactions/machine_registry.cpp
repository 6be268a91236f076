#include "machine_registry.h"

#include <windows.h>

#include <vector>

#include "unique_handle.h"

namespace zvu::hooks {
namespace {
constexpr DWORD kFirstBufferBytes = 1024;
}

std::wstring ReadMachineString(const wchar_t* subkey, const wchar_t* valueName) {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return {};
  }
  std::vector<BYTE> data(kFirstBufferBytes);
  DWORD type = 0;
  DWORD size = static_cast<DWORD>(data.size());
  LONG status = RegQueryValueExW(key.get(), valueName, nullptr, &type, data.data(), &size);
  if (status == ERROR_MORE_DATA) {
    data.resize(size);
    status = RegQueryValueExW(key.get(), valueName, nullptr, &type, data.data(), &size);
  }
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  // Registry strings need not end in a zero, nor have an even length.
  std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
  const size_t end = text.find(L'\0');
  if (end != std::wstring::npos) text.resize(end);
  return text;
}

}  // namespace zvu::hooks
