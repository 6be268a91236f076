#include "program_version.h"

#include <cstdio>
#include <vector>

namespace zvu {

namespace {

// One string value of the block; the length the resource gives bounds it.
std::string QueryString(const std::vector<char>& block, const char* path) {
  char* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), path, reinterpret_cast<void**>(&value), &length) ||
      value == nullptr || length == 0)
    return {};
  std::string text(value, length);
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  return text;
}

std::string ModuleFileName(HMODULE module) {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    DWORD length = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return std::string(path.data(), length);
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

}  // namespace

ProgramVersionTexts ReadProgramVersionTexts(HMODULE module) {
  ProgramVersionTexts texts;
  const std::string file = ModuleFileName(module);
  if (file.empty()) return texts;

  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) return texts;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(file.c_str(), 0, size, block.data())) return texts;

  WORD* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      translation == nullptr || length < 2 * sizeof(WORD))
    return texts;

  char path[64];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\ProductVersion",
                translation[0], translation[1]);
  texts.productVersion = QueryString(block, path);
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\LegalCopyright",
                translation[0], translation[1]);
  texts.legalCopyright = QueryString(block, path);
  return texts;
}

}  // namespace zvu
