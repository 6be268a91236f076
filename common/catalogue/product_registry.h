#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zvu {

// Every installed product of the maker has a key of its own below this key
// of HKEY_LOCAL_MACHINE; the key's name is the product's name.
inline constexpr char kProductsKey[] = "Software\\Zelko\\";

// What ReadRegistryDword answers for a key or value that cannot be read. A
// stored 0xFFFFFFFF reads the same.
inline constexpr uint32_t kMissingRegistryValue = 0xFFFFFFFF;

// Reads value valueName of HKEY_LOCAL_MACHINE\subkey (opened with KEY_READ).
// The value's type is not examined: a value of at most four bytes is read
// as a little-endian number (shorter values zero-extended); a larger value,
// a missing value or a key that cannot be opened gives kMissingRegistryValue.
uint32_t ReadRegistryDword(const std::string& subkey, const char* valueName);

// Whether value valueName of HKEY_LOCAL_MACHINE\subkey is a REG_DWORD of
// exactly four bytes. Anything else (missing, another type, another size)
// still reads as ReadRegistryDword says, but is worth telling an
// administrator: a version written as text "2" reads as 50.
bool IsDwordValue(const std::string& subkey, const char* valueName);

// The names of the subkeys of HKEY_LOCAL_MACHINE\subkey in the registry's
// enumeration order; empty when the key cannot be opened. Names are read
// into a 1024-byte buffer; a name that does not fit is left out and the
// enumeration goes on with the next key.
std::vector<std::string> EnumRegistrySubkeys(const std::string& subkey);

// The registry path (below HKEY_LOCAL_MACHINE) of the product key called
// name, or an empty string when name cannot be one key's name (empty, or
// holding a backslash or a NUL), so that a catalogue name never reaches a
// key other than a direct subkey of kProductsKey.
std::string ProductKeyPath(std::string_view name);

// Whether two product names are the same ignoring letter case. Both are
// ANSI-code-page text; multibyte characters are compared as whole
// characters, and case is folded the way the registry folds key names, so
// that names equal here open the same key.
bool SameProductName(std::string_view first, std::string_view second);

}  // namespace zvu
