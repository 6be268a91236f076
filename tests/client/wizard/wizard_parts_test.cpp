// The wizard's small pieces: the description's rich text, the headline font
// and the finish page's result lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "headline_font.h"
#include "page_finish.h"
#include "update_description.h"

namespace zvu {
namespace {

TEST(DescriptionText, RichTextHasThePrologueBoldTitleAndParagraphsForLineBreaks) {
  EXPECT_EQ(BuildDescriptionRtf({"Alpha 1.1.0.0 (1464kB)", "First\\nSecond\nThird"}),
            "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 "
            "Arial;}}\\viewkind4\\uc1\\pard\\f0\\fs16 \\b Alpha 1.1.0.0 (1464kB) \\b0  \\par "
            "First \\par Second \\par Third \\par ");
}

TEST(DescriptionText, RowsDescribeThemselvesByKind) {
  UpdateEntry update;
  update.name = "Alpha";
  update.version = {1, 2, 3, 4};
  update.size = 1500000;
  update.description = "Fixes";
  CheckTreeItemData checkRow;
  checkRow.checkItem = 1;
  checkRow.object = &update;
  const RowDescription updateText = DescribeRow(&checkRow);
  EXPECT_EQ(updateText.title, "Alpha 1.2.3.4 (1464kB)");
  EXPECT_EQ(updateText.body, "Fixes");

  CatalogueEntry installed;
  installed.name = "alpha";
  installed.version = {1, 1, 9, 0};
  CheckTreeItemData heading;
  heading.headingItem = 1;
  heading.object = &installed;
  const RowDescription headingText = DescribeRow(&heading);
  EXPECT_EQ(headingText.title, "alpha 1.1.9");
  EXPECT_EQ(headingText.body,
            "This is currently installed version of alpha. To update it check the item below.");

  heading.object = nullptr;
  EXPECT_TRUE(DescribeRow(&heading).title.empty());
  EXPECT_TRUE(DescribeRow(nullptr).body.empty());
}

TEST(HeadlineFont, TwelvePointsAtTheScreensResolution) {
  EXPECT_EQ(HeadlineFontHeight(96), -16);
  EXPECT_EQ(HeadlineFontHeight(120), -20);
  EXPECT_EQ(HeadlineFontHeight(144), -24);
}

TEST(HeadlineFont, IsVerdanaAtWeight700) {
  const UniqueFont font = CreateHeadlineFont();
  ASSERT_TRUE(font);
  LOGFONTA asked{};
  ASSERT_EQ(GetObjectA(font.get(), sizeof(asked), &asked), static_cast<int>(sizeof(asked)));
  EXPECT_STREQ(asked.lfFaceName, "Verdana");
  EXPECT_EQ(asked.lfWeight, 700);
  int pixelsPerInch = 96;
  if (HDC screen = GetDC(nullptr)) {
    pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  EXPECT_EQ(asked.lfHeight, HeadlineFontHeight(pixelsPerInch));
}

TEST(FinishPage, ResultLineFollowsTheUpdatesFlags) {
  UpdateEntry update;
  update.installed = true;  // not downloaded: the download failed, whatever else
  EXPECT_STREQ(XPageFinish::ResultLine(update), "There was an error during download.");
  update.downloaded = true;
  update.installed = false;
  EXPECT_STREQ(XPageFinish::ResultLine(update), "There was an error during installation.");
  update.installed = true;
  EXPECT_STREQ(XPageFinish::ResultLine(update), "Downloaded and installed succefully.");
}

TEST(FinishPage, ResultRowKeepsALongProductNameWhole) {
  UpdateEntry update;
  update.name = std::string(3000, 'n') + "end";
  update.version.major = 2;
  update.version.minor = 10;
  update.version.build = 7;
  EXPECT_EQ(XPageFinish::ResultRow(update), update.name + " 2.10.7");
}

}  // namespace
}  // namespace zvu
