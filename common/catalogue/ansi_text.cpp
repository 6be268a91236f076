#include "ansi_text.h"

#include <windows.h>

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

}  // namespace zvu
