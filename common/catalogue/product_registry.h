#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zvu {

// Every installed product of the maker has a key of its own below this key
// of HKEY_LOCAL_MACHINE; the key's name is the product's name.
//
// On 64-bit Windows the key has two registry views: a 64-bit product's
// installer writes into the 64-bit one, a 32-bit product's installer into the
// 32-bit one (HKLM\Software\Wow6432Node). Everything below reads both: a key
// in the 64-bit view, and where it is absent there, the same key in the
// 32-bit view. On 32-bit Windows both views are the one registry.
inline constexpr char kProductsKey[] = "Software\\Zelko\\";

// What ReadRegistryDword answers for a key or value that cannot be read. A
// stored 0xFFFFFFFF reads the same.
inline constexpr uint32_t kMissingRegistryValue = 0xFFFFFFFF;

// Reads value valueName of HKEY_LOCAL_MACHINE\subkey (opened with KEY_READ,
// in the 64-bit view, or in the 32-bit view where the key is absent from the
// 64-bit one; a value missing from a key that is there is not looked for in
// the other view).
// The value's type is not examined: a value of at most four bytes is read
// as a little-endian number (shorter values zero-extended); a larger value,
// a missing value or a key that cannot be opened gives kMissingRegistryValue.
uint32_t ReadRegistryDword(const std::string& subkey, const char* valueName);

// Whether value valueName of HKEY_LOCAL_MACHINE\subkey (the key of the view
// ReadRegistryDword reads) is a REG_DWORD of exactly four bytes. Anything
// else (missing, another type, another size) still reads as ReadRegistryDword
// says, but is worth telling an administrator: a version written as text "2"
// reads as 50.
bool IsDwordValue(const std::string& subkey, const char* valueName);

// The names of the subkeys of HKEY_LOCAL_MACHINE\subkey in both views: those
// of the 64-bit view in the registry's enumeration order, then those of the
// 32-bit view that the 64-bit view does not have (names compared as the
// registry compares them), in their order. Empty when the key opens in
// neither view. Names are read into a 1024-byte buffer; a name that does not
// fit is left out and the enumeration goes on with the next key.
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
