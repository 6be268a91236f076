#include "catalogue_number.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using zvu::ParseCatalogueNumber;

TEST(CatalogueNumber, LeadingDigitsAfterBlanksAndSign) {
  EXPECT_EQ(ParseCatalogueNumber(L" 7abc"), 7);
  EXPECT_EQ(ParseCatalogueNumber(L"\t\r\n\v\f 42"), 42);
  EXPECT_EQ(ParseCatalogueNumber(L"+15"), 15);
  EXPECT_EQ(ParseCatalogueNumber(L"-15x"), -15);
  EXPECT_EQ(ParseCatalogueNumber(L"0012"), 12);
  EXPECT_EQ(ParseCatalogueNumber(L"3.9"), 3);
  EXPECT_EQ(ParseCatalogueNumber(std::wstring(L"12\0" L"34", 5)), 12);
}

TEST(CatalogueNumber, TextWithoutLeadingDigitsIsZero) {
  EXPECT_EQ(ParseCatalogueNumber(L""), 0);
  EXPECT_EQ(ParseCatalogueNumber(L"   "), 0);
  EXPECT_EQ(ParseCatalogueNumber(L"abc7"), 0);
  EXPECT_EQ(ParseCatalogueNumber(L"-"), 0);
  EXPECT_EQ(ParseCatalogueNumber(L"+-3"), 0);
  EXPECT_EQ(ParseCatalogueNumber(L"- 3"), 0);
  // Only ASCII digits count: full-width and Arabic-Indic digits do not.
  EXPECT_EQ(ParseCatalogueNumber(L"\xFF17"), 0);
  EXPECT_EQ(ParseCatalogueNumber(L"\x0667"), 0);
  // A non-breaking space is not white space.
  EXPECT_EQ(ParseCatalogueNumber(L"\x00A0" L"5"), 0);
}

TEST(CatalogueNumber, RangeEndsAndOverflowSaturate) {
  EXPECT_EQ(ParseCatalogueNumber(L"2147483647"), INT32_MAX);
  EXPECT_EQ(ParseCatalogueNumber(L"-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseCatalogueNumber(L"2147483648"), INT32_MAX);
  EXPECT_EQ(ParseCatalogueNumber(L"-2147483649"), INT32_MIN);
  EXPECT_EQ(ParseCatalogueNumber(L"4294967295"), INT32_MAX);
  EXPECT_EQ(ParseCatalogueNumber(L"99999999999999999999999999999"), INT32_MAX);
  EXPECT_EQ(ParseCatalogueNumber(L"-99999999999999999999999999999"), INT32_MIN);
  EXPECT_EQ(ParseCatalogueNumber(std::wstring(100000, L'9')), INT32_MAX);
  EXPECT_EQ(ParseCatalogueNumber(L"-0"), 0);
}

}  // namespace
