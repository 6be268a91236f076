#include "catalogue_number.h"

namespace zvu {
namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\v' || c == L'\f';
}

}  // namespace

int32_t ParseCatalogueNumber(std::wstring_view text) {
  size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) ++at;

  bool negative = false;
  if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
    negative = text[at] == L'-';
    ++at;
  }

  // The magnitude stops growing once it is past what either end of the range
  // can hold, so it never overflows however long the digit run is.
  constexpr int64_t kPastRange = int64_t{1} << 31;  // |INT32_MIN|
  int64_t magnitude = 0;
  for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
    if (magnitude <= kPastRange) magnitude = magnitude * 10 + (text[at] - L'0');
  }

  if (negative) {
    return magnitude >= kPastRange ? INT32_MIN : static_cast<int32_t>(-magnitude);
  }
  return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

}  // namespace zvu
