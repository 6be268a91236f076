#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "about_box_probe.h"
#include "recording_link_launcher.h"

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

// The link opens the site (string 106) in the default browser; Internet
// Explorer is asked only when that fails, and the box says "Cannot find
// Internet Explorer." only when it fails too.
TEST(AboutDialog, TheLinkOpensInTheDefaultBrowserAndFallsBackToInternetExplorer) {
  const std::string site = "http://www.zelko-test.example";
  using ::testing::ElementsAre;
  {
    test::RecordingLinkLauncher launcher;
    launcher.shellAnswers = {test::kShellOpened};
    ASSERT_TRUE(test::OpenAboutBoxAndClickTheLink(launcher));
    EXPECT_THAT(launcher.ShellFiles(), ElementsAre(site));
    EXPECT_EQ(launcher.Count("told"), 0u);
    ASSERT_FALSE(launcher.calls.empty());
    EXPECT_NE(launcher.calls[0].owner, nullptr) << "the box owns what the shell shows";
  }
  {
    test::RecordingLinkLauncher launcher;
    launcher.shellAnswers = {test::kShellNoHandler, test::kShellNotFound};
    ASSERT_TRUE(test::OpenAboutBoxAndClickTheLink(launcher));
    EXPECT_THAT(launcher.ShellFiles(), ElementsAre(site, "iexplore.exe"));
    ASSERT_EQ(launcher.Count("told"), 1u);
    EXPECT_EQ(launcher.calls.back().file, "Cannot find Internet Explorer.");
    EXPECT_EQ(launcher.calls.back().parameters, "About Vuro Update");
  }
}

}  // namespace
}  // namespace zvu
