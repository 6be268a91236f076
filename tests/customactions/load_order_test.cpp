// The filter load-order edits, as plain text functions.
#include <gtest/gtest.h>

#include "filter_load_order.h"

namespace zvu::hooks {
namespace {

const std::wstring kFilter = L"IISQuillet";

TEST(FilterLoadOrder, InsertPutsTheFilterLastExactlyOnce) {
  EXPECT_EQ(LoadOrderWithFilterLast(L"sspifilt,IISQuillet,Compression", kFilter),
            L"sspifilt,Compression,IISQuillet");
  EXPECT_EQ(LoadOrderWithFilterLast(L"IISQuillet", kFilter), L"IISQuillet");
  EXPECT_EQ(LoadOrderWithFilterLast(L"", kFilter), L"IISQuillet");
  EXPECT_EQ(LoadOrderWithFilterLast(L"a,,b", kFilter), L"a,b,IISQuillet");
  EXPECT_EQ(LoadOrderWithFilterLast(L"sspifilt", kFilter), L"sspifilt,IISQuillet");
}

TEST(FilterLoadOrder, InsertKeepsTheCommasItDoesNotCollapse) {
  // A comma at the start stays; one at the end is doubled before the name.
  EXPECT_EQ(LoadOrderWithFilterLast(L"IISQuillet,a", kFilter), L",a,IISQuillet");
  EXPECT_EQ(LoadOrderWithFilterLast(L"a,IISQuillet", kFilter), L"a,,IISQuillet");
  EXPECT_EQ(LoadOrderWithFilterLast(L",", kFilter), L"IISQuillet");
  EXPECT_EQ(LoadOrderWithFilterLast(L",,,,", kFilter), L"IISQuillet");
  EXPECT_EQ(LoadOrderWithFilterLast(L"a,,,,,b", kFilter), L"a,b,IISQuillet");
}

TEST(FilterLoadOrder, InsertRemovesEveryCopyButOnlyInItsOwnLetterCase) {
  EXPECT_EQ(LoadOrderWithFilterLast(L"IISQuillet,x,IISQuillet,y", kFilter), L",x,y,IISQuillet");
  EXPECT_EQ(LoadOrderWithFilterLast(L"iisquillet", kFilter), L"iisquillet,IISQuillet");
}

TEST(FilterLoadOrder, RemoveTakesOutTheNameAndLeavesTheCommas) {
  EXPECT_EQ(LoadOrderWithoutFilter(L"sspifilt,IISQuillet,Compression", kFilter),
            L"sspifilt,,Compression");
  EXPECT_EQ(LoadOrderWithoutFilter(L"IISQuillet", kFilter), L"");
  EXPECT_EQ(LoadOrderWithoutFilter(L"a,b", kFilter), L"a,b");
  EXPECT_EQ(LoadOrderWithoutFilter(L"IISQuillet,IISQuillet", kFilter), L",");
  // Replaced left to right once; what the removal joins up stays.
  EXPECT_EQ(LoadOrderWithoutFilter(L"IISIISQuilletQuillet", kFilter), L"IISQuillet");
}

}  // namespace
}  // namespace zvu::hooks
