#include "ansi_text.h"

namespace zvu {
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
