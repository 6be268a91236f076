#include "filter_load_order.h"

namespace zvu::hooks {
namespace {

// Replaces every occurrence of what, left to right, without rescanning the
// replacement. Returns whether anything was replaced.
bool ReplaceAll(std::wstring& text, const std::wstring& what, const std::wstring& with) {
  if (what.empty()) return false;
  bool replaced = false;
  size_t at = 0;
  while ((at = text.find(what, at)) != std::wstring::npos) {
    text.replace(at, what.size(), with);
    at += with.size();
    replaced = true;
  }
  return replaced;
}

}  // namespace

std::wstring LoadOrderWithFilterLast(const std::wstring& loadOrder, const std::wstring& filter) {
  std::wstring text = LoadOrderWithoutFilter(loadOrder, filter);
  while (ReplaceAll(text, L",,", L",")) {
  }
  if (text == L",") text.clear();
  if (text.empty()) return filter;
  return text + L"," + filter;
}

std::wstring LoadOrderWithoutFilter(const std::wstring& loadOrder, const std::wstring& filter) {
  std::wstring text = loadOrder;
  ReplaceAll(text, filter, L"");
  return text;
}

}  // namespace zvu::hooks
