#include "bad_request_limit.h"

#include <gtest/gtest.h>

namespace {

using zvu::BadRequestLimit;

// The limit's clock, moved by the tests.
ULONGLONG g_nowMs = 0;
ULONGLONG TestClock() { return g_nowMs; }

int ReportedOf(BadRequestLimit& limit, int requests, DWORD* heldBackReported = nullptr) {
  int reported = 0;
  for (int i = 0; i < requests; ++i) {
    const BadRequestLimit::Decision decision = limit.OnRequest();
    if (decision.report) ++reported;
    if (heldBackReported != nullptr) *heldBackReported += decision.heldBack;
  }
  return reported;
}

TEST(BadRequestLimit, ABurstIsReportedOnceAndItsCountWhenTheMinuteHasPassed) {
  g_nowMs = 1000;
  BadRequestLimit limit(&TestClock);
  DWORD heldBackReported = 0;
  EXPECT_EQ(ReportedOf(limit, 1000, &heldBackReported), 1);
  EXPECT_EQ(heldBackReported, 0u);

  // Within the minute the count waits, so that it cannot become a flood of its own.
  g_nowMs += BadRequestLimit::kIntervalMs - 1;
  EXPECT_EQ(limit.TakeHeldBack(), 0u);
  g_nowMs += 1;
  EXPECT_EQ(limit.TakeHeldBack(), 999u);
  EXPECT_EQ(limit.TakeHeldBack(), 0u) << "a count is reported once";
}

TEST(BadRequestLimit, TheNextReportedRequestCarriesTheCountAndStartsAnotherMinute) {
  g_nowMs = 5000;
  BadRequestLimit limit(&TestClock);
  EXPECT_EQ(ReportedOf(limit, 3), 1);
  g_nowMs += BadRequestLimit::kIntervalMs;
  const BadRequestLimit::Decision next = limit.OnRequest();
  EXPECT_TRUE(next.report);
  EXPECT_EQ(next.heldBack, 2u);
  EXPECT_EQ(limit.TakeHeldBack(true), 0u);

  // A steady flood: one report a minute, nothing lost in between.
  DWORD heldBackReported = 0;
  int reported = 0;
  for (int minute = 0; minute < 5; ++minute) {
    g_nowMs += BadRequestLimit::kIntervalMs;
    reported += ReportedOf(limit, 100, &heldBackReported);
  }
  EXPECT_EQ(reported, 5);
  EXPECT_EQ(heldBackReported + limit.TakeHeldBack(true), 500u - 5u);
}

TEST(BadRequestLimit, AtTheStopTheCountIsTakenAtOnce) {
  g_nowMs = 0;  // also right at the clock's start
  BadRequestLimit limit(&TestClock);
  EXPECT_EQ(ReportedOf(limit, 10), 1);
  EXPECT_EQ(limit.TakeHeldBack(), 0u);
  EXPECT_EQ(limit.TakeHeldBack(true), 9u);
  EXPECT_EQ(limit.TakeHeldBack(true), 0u);
}

}  // namespace
