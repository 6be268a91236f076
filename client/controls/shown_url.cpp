#include "shown_url.h"

namespace zvu {

std::string ShownUrl(const std::string& url) {
  constexpr size_t kShownChars = 1024;
  std::string shown = url.substr(0, kShownChars);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127) c = '?';
  }
  if (url.size() > kShownChars) shown += "...";
  return shown;
}

}  // namespace zvu
