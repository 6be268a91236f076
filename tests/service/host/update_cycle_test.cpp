#include "update_cycle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "fake_update_work.h"
#include "log_capture.h"

namespace {

using zvu::UpdateCycle;
using zvu::test::FakeUpdateWork;

class UpdateCycleTest : public ::testing::Test {
 protected:
  void SetUp() override { stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  void TearDown() override { CloseHandle(stopEvent_); }
  std::string LogText() const { return log_.Text(); }
  void Ticks(UpdateCycle& cycle, int count) {
    for (int i = 0; i < count; ++i) cycle.OnTimerTick();
  }

  zvu::test::LogCapture log_{"zvu_update_cycle"};
  HANDLE stopEvent_ = nullptr;
  FakeUpdateWork work_;
};

TEST_F(UpdateCycleTest, ChecksOnTheFirstTickAndThenEveryTenth) {
  UpdateCycle cycle(work_, stopEvent_);
  cycle.Start();
  EXPECT_EQ(cycle.CheckCounter(), 10);
  EXPECT_FALSE(cycle.UpdatesPending());

  cycle.OnTimerTick();
  EXPECT_EQ(work_.checks, 1);
  EXPECT_EQ(cycle.CheckCounter(), 0);
  Ticks(cycle, 9);
  EXPECT_EQ(work_.checks, 1);
  EXPECT_EQ(cycle.CheckCounter(), 9);
  cycle.OnTimerTick();
  EXPECT_EQ(work_.checks, 2);
  Ticks(cycle, 20);
  EXPECT_EQ(work_.checks, 4);
  // Failed checks attempt no hand-off and log nothing.
  EXPECT_TRUE(work_.sentTexts.empty());
  EXPECT_EQ(LogText(), "");
  EXPECT_EQ(cycle.UpdateXml(), "");
  EXPECT_EQ(work_.lastStopEvent, stopEvent_);
}

TEST_F(UpdateCycleTest, HandsOffOnTheCheckingTickAndLogsOncePerHandOff) {
  work_.checkResults = {S_OK, S_OK};
  work_.sendResults = {S_OK, S_OK};
  UpdateCycle cycle(work_, stopEvent_);
  cycle.Start();

  cycle.OnTimerTick();
  ASSERT_EQ(work_.sentTexts.size(), 1u);
  EXPECT_EQ(work_.sentTexts[0], "<catalogue/>");
  EXPECT_FALSE(cycle.UpdatesPending());
  EXPECT_EQ(LogText(), "m_strUpdateXml sent to client \r\n");

  Ticks(cycle, 9);  // nothing pending: no further hand-offs
  EXPECT_EQ(work_.sentTexts.size(), 1u);

  work_.checkText = "<catalogue v='2'/>";
  cycle.OnTimerTick();  // the next check finds the update again and hands it over again
  ASSERT_EQ(work_.sentTexts.size(), 2u);
  EXPECT_EQ(work_.sentTexts[1], "<catalogue v='2'/>");
  EXPECT_EQ(cycle.UpdateXml(), "<catalogue v='2'/>");
  EXPECT_EQ(LogText(), "m_strUpdateXml sent to client \r\nm_strUpdateXml sent to client \r\n");
}

TEST_F(UpdateCycleTest, FailedSendsKeepTheCatalogueUntilTheNextCheckDecides) {
  work_.checkResults = {S_OK, E_FAIL};
  UpdateCycle cycle(work_, stopEvent_);
  cycle.Start();

  Ticks(cycle, 5);  // every tick tries and fails
  EXPECT_EQ(work_.sentTexts.size(), 5u);
  EXPECT_TRUE(cycle.UpdatesPending());
  EXPECT_EQ(LogText(), "");

  work_.sendResults = {E_FAIL, S_OK};
  Ticks(cycle, 2);
  EXPECT_EQ(work_.sentTexts.size(), 7u);
  EXPECT_FALSE(cycle.UpdatesPending());
  EXPECT_EQ(LogText(), "m_strUpdateXml sent to client \r\n");

  // Pending again after a successful check; a check that finds nothing drops it,
  // while the text of the last successful check is kept.
  work_.checkResults = {S_OK, E_FAIL};
  Ticks(cycle, 3);  // ticks 8..10: the 11th tick overall is the next check
  cycle.OnTimerTick();
  EXPECT_EQ(work_.checks, 2);
  EXPECT_TRUE(cycle.UpdatesPending());
  const size_t sentBefore = work_.sentTexts.size();
  Ticks(cycle, 9);
  EXPECT_EQ(work_.sentTexts.size(), sentBefore + 9);
  cycle.OnTimerTick();  // failed check
  EXPECT_EQ(work_.checks, 3);
  EXPECT_FALSE(cycle.UpdatesPending());
  EXPECT_EQ(work_.sentTexts.size(), sentBefore + 9);
  EXPECT_EQ(cycle.UpdateXml(), "<catalogue/>");
}

// A server that is down, or sends something that is no catalogue, while a
// catalogue waits for a client must not take the catalogue back.
TEST_F(UpdateCycleTest, ChecksThatReadNoCatalogueKeepAWaitingCatalogueWaiting) {
  work_.checkResults = {S_OK, zvu::kCheckInconclusive, zvu::kCheckInconclusive};
  UpdateCycle cycle(work_, stopEvent_);
  cycle.Start();

  Ticks(cycle, 10);  // tick 1 finds the update; no client takes it
  EXPECT_TRUE(cycle.UpdatesPending());
  Ticks(cycle, 19);  // ticks 11 and 21 check and read nothing
  EXPECT_EQ(work_.checks, 3);
  EXPECT_TRUE(cycle.UpdatesPending());
  EXPECT_EQ(cycle.UpdateXml(), "<catalogue/>");
  EXPECT_EQ(work_.sentTexts.size(), 29u);

  work_.sendResults = {S_OK};
  cycle.OnTimerTick();  // tick 30: a client has come and gets the waiting catalogue
  EXPECT_EQ(work_.sentTexts.size(), 30u);
  EXPECT_EQ(work_.sentTexts.back(), "<catalogue/>");
  EXPECT_FALSE(cycle.UpdatesPending());
  EXPECT_EQ(LogText(), "m_strUpdateXml sent to client \r\n");

  // Pending again (tick 31), then a catalogue read whole that holds nothing
  // (tick 41) drops it.
  work_.checkResults = {S_OK, E_FAIL};
  Ticks(cycle, 1);
  EXPECT_EQ(work_.checks, 4);
  EXPECT_TRUE(cycle.UpdatesPending());
  Ticks(cycle, 10);
  EXPECT_EQ(work_.checks, 5);
  EXPECT_FALSE(cycle.UpdatesPending());
}

TEST_F(UpdateCycleTest, StopDuringAHandOffKeepsTheCataloguePending) {
  work_.checkResults = {S_OK};
  work_.duringSend = [this](HANDLE stopEvent) {
    SetEvent(stopEvent_);
    // The sender sees the stop and gives up.
    EXPECT_EQ(WaitForSingleObject(stopEvent, 0), WAIT_OBJECT_0);
  };
  UpdateCycle cycle(work_, stopEvent_);
  cycle.Start();
  cycle.OnTimerTick();
  EXPECT_TRUE(cycle.UpdatesPending());
  EXPECT_EQ(cycle.UpdateXml(), "<catalogue/>");
  EXPECT_EQ(LogText(), "");

  // Once stopping, ticks do no more work.
  Ticks(cycle, 15);
  EXPECT_EQ(work_.checks, 1);
  EXPECT_EQ(work_.sentTexts.size(), 1u);
  EXPECT_TRUE(cycle.UpdatesPending());
}

TEST_F(UpdateCycleTest, StartResetsPendingStateButKeepsTheText) {
  work_.checkResults = {S_OK};
  UpdateCycle cycle(work_, nullptr);  // no stop event at all is allowed
  cycle.Start();
  Ticks(cycle, 3);
  EXPECT_TRUE(cycle.UpdatesPending());
  cycle.Start();
  EXPECT_FALSE(cycle.UpdatesPending());
  EXPECT_EQ(cycle.CheckCounter(), 10);
  EXPECT_EQ(cycle.UpdateXml(), "<catalogue/>");
}

}  // namespace
