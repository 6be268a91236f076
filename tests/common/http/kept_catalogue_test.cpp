#include "kept_catalogue.h"

#include <gtest/gtest.h>

namespace {

using zvu::KeptCatalogue;

TEST(KeptCatalogue, SendsBackTheValidatorsOfTheLastResponse) {
  KeptCatalogue kept;
  EXPECT_FALSE(kept.HasText());
  EXPECT_EQ(kept.RequestHeaders(), L"");

  kept.Remember("<a/>", L"W/\"7\"", L"Tue, 08 Dec 2026 10:00:00 GMT");
  EXPECT_TRUE(kept.HasText());
  EXPECT_EQ(kept.Text(), "<a/>");
  EXPECT_EQ(kept.RequestHeaders(),
            L"If-None-Match: W/\"7\"\r\nIf-Modified-Since: Tue, 08 Dec 2026 10:00:00 GMT\r\n");

  // One validator is enough; an empty body is a body like any other.
  kept.Remember("", L"", L"Tue, 08 Dec 2026 10:00:00 GMT");
  EXPECT_TRUE(kept.HasText());
  EXPECT_EQ(kept.Text(), "");
  EXPECT_EQ(kept.RequestHeaders(), L"If-Modified-Since: Tue, 08 Dec 2026 10:00:00 GMT\r\n");

  kept.Remember("<b/>", L"", L"");
  EXPECT_FALSE(kept.HasText());
  EXPECT_EQ(kept.Text(), "");
  EXPECT_EQ(kept.RequestHeaders(), L"");
}

TEST(KeptCatalogue, ValidatorsThatCouldAlterTheRequestAreNeverSent) {
  KeptCatalogue kept;
  // A header line break, a control character, a non-ASCII character, and
  // more than 1024 characters.
  for (const std::wstring& bad :
       {std::wstring(L"\"x\"\r\nX-Injected: 1"), std::wstring(L"\"a\tb\""),
        std::wstring(L"\"\u00e9\""), std::wstring(1025, L'a')}) {
    kept.Remember("<a/>", bad, L"");
    EXPECT_FALSE(kept.HasText());
    EXPECT_EQ(kept.RequestHeaders(), L"");
    kept.Remember("<a/>", bad, L"Tue, 08 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(kept.RequestHeaders(), L"If-Modified-Since: Tue, 08 Dec 2026 10:00:00 GMT\r\n");
  }
  kept.Remember("<a/>", std::wstring(1024, L'a'), L"");
  EXPECT_TRUE(kept.HasText());
}

}  // namespace
