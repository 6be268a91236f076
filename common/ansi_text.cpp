#include "ansi_text.h"

#include <climits>

namespace zvu {

bool AnsiToWide(std::string_view text, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return true;
  if (text.size() > static_cast<size_t>(INT_MAX)) return false;
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return false;
  wide.resize(static_cast<size_t>(needed));
  if (MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), needed) != needed) {
    wide.clear();
    return false;
  }
  return true;
}

bool WideToAnsi(std::wstring_view wide, std::string& text) {
  text.clear();
  if (wide.empty()) return true;
  if (wide.size() > static_cast<size_t>(INT_MAX)) return false;
  const int length = static_cast<int>(wide.size());
  const int needed =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return false;
  text.resize(static_cast<size_t>(needed));
  if (WideCharToMultiByte(CP_ACP, 0, wide.data(), length, text.data(), needed, nullptr,
                          nullptr) != needed) {
    text.clear();
    return false;
  }
  return true;
}

std::wstring Widen(std::string_view text) {
  std::wstring wide;
  AnsiToWide(text, wide);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  std::string text;
  WideToAnsi(wide, text);
  return text;
}

namespace {

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Length in bytes of the character that starts at text[pos].
size_t CharLength(std::string_view text, size_t pos, UINT codePage) {
  if (pos + 1 < text.size() && IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[pos]))) return 2;
  return 1;
}

}  // namespace

std::string TrimTrailingWhiteSpace(std::string_view text, UINT codePage) {
  size_t keep = 0;
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = CharLength(text, pos, codePage);
    if (length > 1 || !IsWhiteSpace(text[pos])) keep = pos + length;
    pos += length;
  }
  return std::string(text.substr(0, keep));
}

size_t FindInAnsiText(std::string_view text, std::string_view pattern, size_t from,
                      UINT codePage) {
  if (pattern.empty()) return from <= text.size() ? from : std::string_view::npos;
  for (size_t pos = 0; pos < text.size(); pos += CharLength(text, pos, codePage)) {
    if (pos >= from && text.compare(pos, pattern.size(), pattern) == 0) return pos;
  }
  return std::string_view::npos;
}

}  // namespace zvu
