#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zvu {

// A small line-based description of registry keys and text values that the
// program writes when it registers and removes when it unregisters.
//
//   ; comment (also "#")
//   key <path below the root> [keep]
//   value <name> = <text>        ("@" names the key's default value)
//
// A "value" line belongs to the key line above it. A "keep" key is created
// when missing but never removed; its listed values are removed, though.
// %NAME% inside paths and texts is replaced from the replacement list; "%%"
// stands for one "%". Blanks around names, paths and texts are dropped.
struct RegistryScriptValue {
  std::string name;  // empty for the key's default value
  std::string data;
};

struct RegistryScriptKey {
  std::string path;
  bool keep = false;
  std::vector<RegistryScriptValue> values;
};

struct RegistryScript {
  std::vector<RegistryScriptKey> keys;
};

struct RegistryScriptError {
  int line = 0;  // 1-based line of the fault
  std::string reason;
};

// Placeholder name (without the percent signs) and its replacement.
using RegistryScriptReplacements = std::vector<std::pair<std::string, std::string>>;

// Parses the script text. On a fault returns false, fills `error` and leaves
// `script` empty.
bool ParseRegistryScript(std::string_view text, const RegistryScriptReplacements& replacements,
                         RegistryScript& script, RegistryScriptError& error);

// Creates every key below `root` (in script order) and writes its values as
// REG_SZ. Returns ERROR_SUCCESS or the first registry error; what was written
// before the error stays.
LONG WriteRegistryScript(HKEY root, const RegistryScript& script);

// Removes, in reverse script order, every key not marked "keep" with all it
// holds, and the listed values of the kept keys. Entries that are already gone
// count as removed. Returns ERROR_SUCCESS or the first other registry error.
LONG RemoveRegistryScript(HKEY root, const RegistryScript& script);

// The text of a resource of type "REGISTRY" in `module`; nothing when the
// resource is missing.
std::optional<std::string> LoadRegistryScriptResource(HMODULE module, int resourceId);

}  // namespace zvu
