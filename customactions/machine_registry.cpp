#include "machine_registry.h"

#include <vector>

#include "unique_handle.h"

namespace zvu::hooks {
namespace {

constexpr DWORD kFirstBufferBytes = 1024;

// Looked for in this order. Both flags work from a 64-bit and a 32-bit
// process; 32-bit Windows ignores them.
constexpr REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

// The key opened for reading in the first view that has it. A key that is
// there but cannot be opened is not looked for in the other view: that one
// would be another installation's.
UniqueRegKey OpenInFirstView(const wchar_t* subkey, REGSAM* foundIn) {
  for (REGSAM view : kViews) {
    UniqueRegKey key;
    const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ | view, key.put());
    if (result == ERROR_SUCCESS) {
      if (foundIn != nullptr) *foundIn = view;
      return key;
    }
    key.release();
    if (result != ERROR_FILE_NOT_FOUND) break;
  }
  if (foundIn != nullptr) *foundIn = 0;
  return {};
}

}  // namespace

REGSAM FindMachineKeyView(const wchar_t* subkey) {
  REGSAM view = 0;
  OpenInFirstView(subkey, &view);
  return view;
}

std::wstring ReadMachineString(const wchar_t* subkey, const wchar_t* valueName) {
  UniqueRegKey key = OpenInFirstView(subkey, nullptr);
  if (!key) return {};
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
