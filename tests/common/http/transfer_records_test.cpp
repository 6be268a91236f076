// The transfer log's records on their way to the program log: held records
// are neither lost nor reordered, and none waits for long.

#include <gtest/gtest.h>

#include <string>

#include "log_capture.h"
#include "transfer_records.h"
#include "wait_until.h"

namespace {

using zvu::http_detail::TransferRecords;
using zvu::test::LogCapture;

TEST(TransferRecords, EveryRecordReachesTheLogInTheOrderGiven) {
  LogCapture log("zvu_http_records_order");
  std::string expected;
  {
    TransferRecords records;
    records.Add("held 1\r\n", true);
    records.Add("held 2\r\n", true);
    records.Add("at once\r\n", false);
    expected = "held 1\r\nheld 2\r\nat once\r\n";
    EXPECT_EQ(log.Text(), expected) << "a record written at once follows what was held";

    // More held records than one batch: the full batches are written as they fill.
    for (int i = 0; i < 1000; ++i) {
      const std::string record = " Data was successfully read from the server. " +
                                 std::to_string(i) + " bytes read\r\n";
      records.Add(record, true);
      expected += record;
    }
    const std::string text = log.Text();
    EXPECT_GE(text.size(), expected.size() - zvu::http_detail::kRecordBatchBytes);
    EXPECT_EQ(expected.compare(0, text.size(), text), 0) << "written in order, nothing skipped";

    records.Add("last held\r\n", true);
    expected += "last held\r\n";
  }
  EXPECT_EQ(log.Text(), expected) << "what is still held is written when the records end";
}

TEST(TransferRecords, AHeldRecordIsWrittenWithoutWaitingForTheNext) {
  LogCapture log("zvu_http_records_timer");
  TransferRecords records;
  records.Add(" Receiving response...\r\n", true);
  // No further record comes (a server that sends nothing for a while).
  EXPECT_TRUE(zvu::test::WaitUntil([&] { return log.Text() == " Receiving response...\r\n"; },
                                   std::chrono::seconds(10)));
  records.Add(" Response received!\r\n", true);
  EXPECT_TRUE(zvu::test::WaitUntil(
      [&] { return log.Text() == " Receiving response...\r\n Response received!\r\n"; },
      std::chrono::seconds(10)))
      << "the timer serves the next batch too";
}

}  // namespace
