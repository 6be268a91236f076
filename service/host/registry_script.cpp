#include "registry_script.h"

#include "unique_handle.h"

namespace zvu {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Splits off the first blank-separated word of `text`.
std::string_view TakeWord(std::string_view& text) {
  text = Trim(text);
  size_t end = 0;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  std::string_view word = text.substr(0, end);
  text = Trim(text.substr(end));
  return word;
}

bool Expand(std::string_view text, const RegistryScriptReplacements& replacements,
            std::string& out, std::string& reason) {
  out.clear();
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('%', pos);
    if (open == std::string_view::npos) {
      out.append(text.substr(pos));
      break;
    }
    out.append(text.substr(pos, open - pos));
    const size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) {
      reason = "unpaired '%'";
      return false;
    }
    const std::string_view name = text.substr(open + 1, close - open - 1);
    if (name.empty()) {
      out.push_back('%');
    } else {
      bool found = false;
      for (const auto& [placeholder, replacement] : replacements) {
        if (placeholder == name) {
          out.append(replacement);
          found = true;
          break;
        }
      }
      if (!found) {
        reason = "unknown placeholder %" + std::string(name) + "%";
        return false;
      }
    }
    pos = close + 1;
  }
  return true;
}

bool IsValidKeyPath(std::string_view path) {
  if (path.empty() || path.front() == '\\' || path.back() == '\\') return false;
  return path.find("\\\\") == std::string_view::npos;
}

bool ParseLine(std::string_view line, const RegistryScriptReplacements& replacements,
               RegistryScript& script, std::string& reason) {
  std::string_view rest = line;
  const std::string_view directive = TakeWord(rest);
  if (directive == "key") {
    std::string path;
    if (!Expand(TakeWord(rest), replacements, path, reason)) return false;
    if (!IsValidKeyPath(path)) {
      reason = "missing or malformed key path";
      return false;
    }
    RegistryScriptKey key;
    key.path = std::move(path);
    const std::string_view flag = TakeWord(rest);
    if (flag == "keep") {
      key.keep = true;
    } else if (!flag.empty()) {
      reason = "unexpected text after the key path";
      return false;
    }
    if (!rest.empty()) {
      reason = "unexpected text after the key path";
      return false;
    }
    script.keys.push_back(std::move(key));
    return true;
  }
  if (directive == "value") {
    if (script.keys.empty()) {
      reason = "value before any key";
      return false;
    }
    const size_t equals = rest.find('=');
    if (equals == std::string_view::npos) {
      reason = "value without '='";
      return false;
    }
    const std::string_view name = Trim(rest.substr(0, equals));
    if (name.empty() || name.find_first_of(" \t") != std::string_view::npos) {
      reason = "missing or malformed value name";
      return false;
    }
    RegistryScriptValue value;
    if (name != "@" && !Expand(name, replacements, value.name, reason)) return false;
    if (!Expand(Trim(rest.substr(equals + 1)), replacements, value.data, reason)) return false;
    script.keys.back().values.push_back(std::move(value));
    return true;
  }
  reason = "unknown directive '" + std::string(directive) + "'";
  return false;
}

bool IsGone(LONG error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

bool ParseRegistryScript(std::string_view text, const RegistryScriptReplacements& replacements,
                         RegistryScript& script, RegistryScriptError& error) {
  script.keys.clear();
  int lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.find('\0') != std::string_view::npos) {
      error = {lineNumber, "NUL character"};
      script.keys.clear();
      return false;
    }
    std::string reason;
    if (!ParseLine(line, replacements, script, reason)) {
      error = {lineNumber, std::move(reason)};
      script.keys.clear();
      return false;
    }
  }
  return true;
}

LONG WriteRegistryScript(HKEY root, const RegistryScript& script) {
  for (const RegistryScriptKey& entry : script.keys) {
    UniqueRegKey key;
    LONG result = RegCreateKeyExA(root, entry.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE, nullptr, key.put(), nullptr);
    if (result != ERROR_SUCCESS) return result;
    for (const RegistryScriptValue& value : entry.values) {
      result = RegSetValueExA(key.get(), value.name.empty() ? nullptr : value.name.c_str(), 0,
                              REG_SZ, reinterpret_cast<const BYTE*>(value.data.c_str()),
                              static_cast<DWORD>(value.data.size() + 1));
      if (result != ERROR_SUCCESS) return result;
    }
  }
  return ERROR_SUCCESS;
}

LONG RemoveRegistryScript(HKEY root, const RegistryScript& script) {
  for (auto entry = script.keys.rbegin(); entry != script.keys.rend(); ++entry) {
    if (!entry->keep) {
      const LONG result = RegDeleteTreeA(root, entry->path.c_str());
      if (result != ERROR_SUCCESS && !IsGone(result)) return result;
      continue;
    }
    if (entry->values.empty()) continue;
    UniqueRegKey key;
    LONG result = RegOpenKeyExA(root, entry->path.c_str(), 0, KEY_SET_VALUE, key.put());
    if (IsGone(result)) continue;
    if (result != ERROR_SUCCESS) return result;
    for (const RegistryScriptValue& value : entry->values) {
      result = RegDeleteValueA(key.get(), value.name.empty() ? nullptr : value.name.c_str());
      if (result != ERROR_SUCCESS && !IsGone(result)) return result;
    }
  }
  return ERROR_SUCCESS;
}

std::optional<std::string> LoadRegistryScriptResource(HMODULE module, int resourceId) {
  HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(resourceId), "REGISTRY");
  if (info == nullptr) return std::nullopt;
  HGLOBAL loaded = LoadResource(module, info);
  const DWORD size = SizeofResource(module, info);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) return std::nullopt;
  return std::string(static_cast<const char*>(data), size);
}

}  // namespace zvu
