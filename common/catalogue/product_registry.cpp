#include "product_registry.h"

#include <windows.h>

#include <climits>
#include <cstring>

#include "ansi_text.h"
#include "unique_handle.h"

namespace zvu {
namespace {

constexpr DWORD kSubkeyNameBufferBytes = 1024;

UniqueRegKey OpenMachineKey(const std::string& subkey) {
  UniqueRegKey key;
  // A NUL inside the path would silently open a shorter path.
  if (subkey.find('\0') != std::string::npos) return key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS) {
    key.release();
  }
  return key;
}

}  // namespace

uint32_t ReadRegistryDword(const std::string& subkey, const char* valueName) {
  UniqueRegKey key = OpenMachineKey(subkey);
  if (!key) return kMissingRegistryValue;

  // Zeroed, so that a value shorter than four bytes reads zero-extended.
  BYTE data[4] = {};
  DWORD size = sizeof(data);
  if (RegQueryValueExA(key.get(), valueName, nullptr, nullptr, data, &size) != ERROR_SUCCESS ||
      size > sizeof(data)) {
    return kMissingRegistryValue;
  }
  uint32_t value = 0;
  std::memcpy(&value, data, sizeof(value));
  return value;
}

bool IsDwordValue(const std::string& subkey, const char* valueName) {
  UniqueRegKey key = OpenMachineKey(subkey);
  if (!key) return false;
  DWORD type = REG_NONE;
  DWORD size = 0;
  // Type and size only: no data buffer, so a huge value costs nothing.
  if (RegQueryValueExA(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return false;
  }
  return type == REG_DWORD && size == sizeof(DWORD);
}

std::vector<std::string> EnumRegistrySubkeys(const std::string& subkey) {
  std::vector<std::string> names;
  UniqueRegKey key = OpenMachineKey(subkey);
  if (!key) return names;

  char name[kSubkeyNameBufferBytes];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof(name);
    const LONG result =
        RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;  // does not fit: cannot be a product key we open
    if (result != ERROR_SUCCESS) break;       // ERROR_NO_MORE_ITEMS, or the key went away
    names.emplace_back(name, length);
  }
  return names;
}

std::string ProductKeyPath(std::string_view name) {
  // Looked for in UTF-16: in double-byte code pages the second byte of a
  // character may be 0x5C, which is no backslash.
  std::wstring wide;
  if (name.empty() || !AnsiToWide(name, wide) || wide.find(L'\\') != std::wstring::npos ||
      wide.find(L'\0') != std::wstring::npos) {
    return {};
  }
  std::string path(kProductsKey);
  path += name;
  return path;
}

bool SameProductName(std::string_view first, std::string_view second) {
  std::wstring wideFirst;
  std::wstring wideSecond;
  if (!AnsiToWide(first, wideFirst) || !AnsiToWide(second, wideSecond)) return false;
  if (wideFirst.size() > static_cast<size_t>(INT_MAX) ||
      wideSecond.size() > static_cast<size_t>(INT_MAX)) {
    return false;
  }
  return CompareStringOrdinal(wideFirst.data(), static_cast<int>(wideFirst.size()),
                              wideSecond.data(), static_cast<int>(wideSecond.size()),
                              TRUE) == CSTR_EQUAL;
}

}  // namespace zvu
