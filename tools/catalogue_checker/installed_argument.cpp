#include "installed_argument.h"

namespace zvu {
namespace {

// One decimal number of at most 10 digits that fits 32 bits, moving text on
// past it.
bool TakeNumber(std::string_view& text, uint32_t& value) {
  size_t digits = 0;
  uint64_t number = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    number = number * 10 + static_cast<uint64_t>(text[digits] - '0');
    if (++digits > 10 || number > 0xFFFFFFFFull) return false;
  }
  if (digits == 0) return false;
  value = static_cast<uint32_t>(number);
  text.remove_prefix(digits);
  return true;
}

}  // namespace

std::optional<InstalledProduct> ParseInstalledArgument(std::string_view argument) {
  const size_t equals = argument.rfind('=');
  if (equals == std::string_view::npos || equals == 0) return std::nullopt;
  InstalledProduct product;
  product.name.assign(argument.substr(0, equals));
  std::string_view version = argument.substr(equals + 1);
  uint32_t* parts[] = {&product.version.major, &product.version.minor, &product.version.build,
                       &product.version.subbuild};
  for (size_t i = 0; i < 4; ++i) {
    if (i > 0) {
      if (version.empty() || version.front() != '.') return std::nullopt;
      version.remove_prefix(1);
    }
    if (!TakeNumber(version, *parts[i])) return std::nullopt;
  }
  if (!version.empty()) return std::nullopt;
  return product;
}

}  // namespace zvu
