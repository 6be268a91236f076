#include <gtest/gtest.h>

#include "about_box_probe.h"

namespace zvu {
namespace {

// This test program carries a version resource (controls_test.rc).
TEST(AboutDialog, ShowsTheVersionResourceAndTheWebSiteLink) {
  test::AboutBoxSeen seen = test::OpenAndReadAboutBox("about_box.bmp");
  ASSERT_TRUE(seen.opened);
  EXPECT_EQ(seen.caption, "About Vuro Update");
  EXPECT_EQ(seen.versionLine, "Version: 4.5.6.7");
  EXPECT_EQ(seen.copyrightLine, "Copyright: (c) Zelko Test Ltd.");
  EXPECT_EQ(seen.linkText, "www.zelko-test.example");
  EXPECT_TRUE(seen.linkIsHyperlink);
  EXPECT_TRUE(seen.linkHasNotifyStyle);
  // The picture fills the box.
  EXPECT_EQ(seen.backgroundWidth, seen.widthPixels);
  EXPECT_EQ(seen.backgroundHeight, seen.heightPixels);
}

}  // namespace
}  // namespace zvu
