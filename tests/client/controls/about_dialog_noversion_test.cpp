#include <gtest/gtest.h>

#include "about_box_probe.h"

namespace zvu {
namespace {

// This test program has no version resource (noversion_test.rc).
TEST(AboutDialogWithoutVersionResource, ShowsTheLabelsWithNothingAfterThem) {
  test::AboutBoxSeen seen = test::OpenAndReadAboutBox();
  ASSERT_TRUE(seen.opened);
  EXPECT_EQ(seen.versionLine, "Version: ");
  EXPECT_EQ(seen.copyrightLine, "Copyright: ");
  EXPECT_EQ(seen.linkText, "www.zelko-test.example");
  EXPECT_TRUE(seen.linkIsHyperlink);
}

}  // namespace
}  // namespace zvu
