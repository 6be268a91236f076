#include "download_progress.h"

#include <gtest/gtest.h>

namespace {

using zvu::DescribeDownloadProgress;
using zvu::HttpState;

TEST(DownloadProgress, ReadingShowsKilobytesAndPercent) {
  for (HttpState state : {HttpState::Reading, HttpState::Storing}) {
    const auto progress = DescribeDownloadProgress(state, 1536, 4096, "Quillet");
    EXPECT_EQ(progress.barPosition, 37);
    EXPECT_EQ(progress.statusText, "Downloading Quillet update: 1 Kb of 4 Kb ");
  }
}

TEST(DownloadProgress, LargeAndUnknownLengthsStayInRange) {
  // 3 GiB of 4 GiB: received * 100 does not fit in 32 bits.
  auto progress = DescribeDownloadProgress(HttpState::Reading, 3ull << 30, 4ull << 30, "P");
  EXPECT_EQ(progress.barPosition, 75);
  EXPECT_EQ(progress.statusText, "Downloading P update: 3145728 Kb of 4194304 Kb ");
  progress = DescribeDownloadProgress(HttpState::Reading, 45'000'000, 50'000'000, "P");
  EXPECT_EQ(progress.barPosition, 90);

  progress = DescribeDownloadProgress(HttpState::Reading, 5000, 0, "P");
  EXPECT_EQ(progress.barPosition, 0);
  EXPECT_EQ(progress.statusText, "Downloading P update: 4 Kb of 0 Kb ");

  EXPECT_EQ(DescribeDownloadProgress(HttpState::Reading, 9000, 4096, "P").barPosition, 100);
  EXPECT_EQ(DescribeDownloadProgress(HttpState::Reading, UINT64_MAX - 1, UINT64_MAX, "P")
                .barPosition,
            99);
}

TEST(DownloadProgress, OtherStates) {
  auto progress = DescribeDownloadProgress(HttpState::Idle, 0, 0, "100% Tool");
  EXPECT_EQ(progress.barPosition, 5);
  EXPECT_EQ(progress.statusText, "Downloading 100% Tool update: connecting ... ");

  progress = DescribeDownloadProgress(HttpState::Failed, 10, 20, "Tool");
  EXPECT_FALSE(progress.barPosition);
  EXPECT_EQ(progress.statusText, "Downloading update for Tool: Error!");

  progress = DescribeDownloadProgress(HttpState::Complete, 20, 20, "Tool");
  EXPECT_EQ(progress.barPosition, 100);
  EXPECT_EQ(progress.statusText, "Downloading Tool update: complete!");

  for (HttpState state : {HttpState::Closing, HttpState::Closed, HttpState::Acknowledged}) {
    progress = DescribeDownloadProgress(state, 10, 20, "Tool");
    EXPECT_FALSE(progress.barPosition);
    EXPECT_FALSE(progress.statusText);
  }
}

}  // namespace
