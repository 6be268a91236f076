// The transfer log of whole transfers: every status of a body's reads is
// recorded, and a transfer that waits for the server shows where it waits.

#include <gtest/gtest.h>

#include <regex>

#include "http_client.h"
#include "http_test_support.h"
#include "test_env.h"

namespace {

using zvu::HttpState;
using zvu::XHttpClient;
using zvu::test::LogCapture;
using zvu::test::StartGet;
using zvu::test::WaitForState;

TEST(TransferLog, ADownloadRecordsEveryReadInOrderBeforeItsEnd) {
  const std::string served = zvu::test::WriteServedFile("records.bin", 300'000);
  const std::string path = zvu::test::TempFilePath("zvu_http_records.bin");
  LogCapture log("zvu_http_transfer_records");
  {
    XHttpClient client;
    ASSERT_EQ(StartGet(client, L"/files/records.bin", path), 0u);
    ASSERT_TRUE(WaitForState(client, zvu::test::kFinal));
    ASSERT_EQ(client.GetHttpState(), HttpState::Complete);
    // Complete: the records of every read are already there.
    const std::string text = log.Text();
    const std::regex read(" Data was successfully read from the server\\. (\\d+) bytes read\r\n");
    size_t bytes = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), read);
         it != std::sregex_iterator(); ++it) {
      bytes += std::stoul((*it)[1]);
    }
    EXPECT_EQ(bytes, served.size());
    EXPECT_NE(text.find(" Data is available to be retrieved. Available 0 bytes\r\n"),
              std::string::npos);
  }
  // The request's closing comes last, after everything held.
  const std::string text = log.Text();
  const std::string closing = " Closing Connection...\r\n";
  ASSERT_GE(text.size(), closing.size());
  EXPECT_EQ(text.compare(text.size() - closing.size(), closing.size(), closing), 0)
      << text.substr(text.size() > 300 ? text.size() - 300 : 0);
  DeleteFileA(path.c_str());
}

TEST(TransferLog, AWaitForTheBodyIsInTheLogWhileItLasts) {
  LogCapture log("zvu_http_transfer_wait");
  XHttpClient client;
  // Headers, then no body for 30 s.
  ASSERT_EQ(StartGet(client, L"/hang/30"), 0u);
  const std::string headers = " The response header has been received.\r\n";
  // WinHTTP reports that it is receiving once it reads from the connection.
  const auto waitingShows = [&] {
    const std::string text = log.Text();
    const size_t at = text.find(headers);
    return at != std::string::npos &&
           text.find(" Receiving response...\r\n", at) != std::string::npos;
  };
  EXPECT_TRUE(zvu::test::WaitUntil(waitingShows, std::chrono::seconds(15))) << log.Text();
  EXPECT_NE(client.GetHttpState(), HttpState::Complete) << "still waiting for the body";
}

}  // namespace
