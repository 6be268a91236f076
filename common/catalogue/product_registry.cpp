#include "product_registry.h"

#include <windows.h>

#include <climits>
#include <cstring>

#include "ansi_text.h"
#include "unique_handle.h"

namespace zvu {
namespace {

constexpr DWORD kSubkeyNameBufferBytes = 1024;

// The views a key is looked for in, in this order. Either flag may be given
// to a 64-bit or a 32-bit process; 32-bit Windows ignores both.
constexpr REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

// The key opened for reading in one view; empty with the call's result in
// *result when it cannot be opened.
UniqueRegKey OpenMachineKeyIn(const std::string& subkey, REGSAM view, LONG* result) {
  UniqueRegKey key;
  *result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ | view, key.put());
  if (*result != ERROR_SUCCESS) key.release();
  return key;
}

// The key in the 64-bit view, or the 32-bit view's where the key is absent
// from the 64-bit one. A key that is there but cannot be opened (access
// denied) is not looked for elsewhere: the other view's key would belong to
// another installation of the product.
UniqueRegKey OpenMachineKey(const std::string& subkey) {
  // A NUL inside the path would silently open a shorter path.
  if (subkey.find('\0') != std::string::npos) return {};
  for (REGSAM view : kViews) {
    LONG result = ERROR_SUCCESS;
    UniqueRegKey key = OpenMachineKeyIn(subkey, view, &result);
    if (key || result != ERROR_FILE_NOT_FOUND) return key;
  }
  return {};
}

// Appends the subkey names of one view's key that names does not hold yet.
void AppendSubkeyNames(const std::string& subkey, REGSAM view, std::vector<std::string>& names) {
  LONG opened = ERROR_SUCCESS;
  UniqueRegKey key = OpenMachineKeyIn(subkey, view, &opened);
  if (!key) return;

  const size_t earlierViews = names.size();
  char name[kSubkeyNameBufferBytes];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof(name);
    const LONG result =
        RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;  // does not fit: cannot be a product key we open
    if (result != ERROR_SUCCESS) break;       // ERROR_NO_MORE_ITEMS, or the key went away
    const std::string_view found(name, length);
    bool known = false;
    for (size_t i = 0; i < earlierViews && !known; ++i) known = SameProductName(names[i], found);
    if (!known) names.emplace_back(found);
  }
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
  if (subkey.find('\0') != std::string::npos) return names;
  // Two passes, one handle opened with each view's flag: an enumeration sees
  // only the view its handle was opened in. On 32-bit Windows, or for a key
  // the views share, the second pass finds the first one's names again.
  for (REGSAM view : kViews) AppendSubkeyNames(subkey, view, names);
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
