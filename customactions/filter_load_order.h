#pragma once

#include <string>

namespace zvu::hooks {

// The web server's filter load order is a comma-separated list of filter
// names. These edits are plain text operations on it.

// The load order with the filter taken out wherever its name occurs (as a
// substring) and then appended once at the end. Doubled commas left by
// earlier removals are collapsed first.
std::wstring LoadOrderWithFilterLast(const std::wstring& loadOrder, const std::wstring& filter);

// The load order with every occurrence of the filter's name removed; the
// commas around it stay.
std::wstring LoadOrderWithoutFilter(const std::wstring& loadOrder, const std::wstring& filter);

}  // namespace zvu::hooks
