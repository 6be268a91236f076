// Conditional requests: request headers, response headers and the 304 answer.

#include <windows.h>

#include <gtest/gtest.h>

#include "catalogue_fetch.h"
#include "http_client.h"
#include "http_test_support.h"
#include "kept_catalogue.h"
#include "test_env.h"

namespace {

using zvu::HttpState;
using zvu::KeptCatalogue;
using zvu::XHttpClient;
using zvu::test::LogCapture;
using zvu::test::StartGet;
using zvu::test::WaitForState;

const std::vector<HttpState> kEnded = {HttpState::Complete, HttpState::Failed,
                                       HttpState::NotModified};

class ConditionalRequest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(zvu::test::FixtureDirUnix().empty()) << "run inside the test environment";
    SetValidators("honour");
  }
  void TearDown() override { SetValidators("honour"); }
  static void SetValidators(const std::string& mode) {
    ASSERT_TRUE(zvu::test::WriteFixtureFile("update.validators", mode));
  }
  // Fetches the catalogue with the kept validators; the state it ended in.
  static HttpState Fetch(XHttpClient& client, const KeptCatalogue& kept) {
    EXPECT_TRUE(zvu::StartCatalogueFetch(client, kept.RequestHeaders()));
    EXPECT_TRUE(WaitForState(client, kEnded));
    return client.GetHttpState();
  }
  static std::string LastCatalogueRequest() {
    const auto lines = zvu::test::CatalogueRequests();
    return lines.empty() ? "" : lines.back();
  }
};

TEST_F(ConditionalRequest, UnchangedCatalogueIsAnswered304WithoutABodyUntilItChanges) {
  const std::string first = "<catalogue><updates/></catalogue>\r\n";
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", first));
  LogCapture log("zvu_http_conditional");
  KeptCatalogue kept;

  XHttpClient client;
  ASSERT_EQ(Fetch(client, kept), HttpState::Complete);
  EXPECT_EQ(client.ResponseText(), first);
  const std::wstring tag = client.ResponseHeader(L"etag");  // any case
  EXPECT_EQ(tag.size(), 34u) << "a quoted tag";
  EXPECT_NE(client.ResponseHeader(L"Last-Modified"), L"");
  EXPECT_EQ(client.ResponseHeader(L"X-Not-There"), L"");
  EXPECT_EQ(LastCatalogueRequest(), "200 - -");
  kept.RememberResponse(client, client.ResponseText());
  ASSERT_TRUE(kept.HasText());

  ASSERT_EQ(Fetch(client, kept), HttpState::NotModified);
  EXPECT_EQ(client.ResponseText(), "");
  EXPECT_EQ(client.ReceivedBytes(), 0u);
  EXPECT_EQ(client.ResponseHeader(L"ETag"), tag);
  EXPECT_EQ(LastCatalogueRequest().rfind("304 \"", 0), 0u) << LastCatalogueRequest();

  const std::string second = "<catalogue><products/><updates/></catalogue>\r\n";
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", second));
  ASSERT_EQ(Fetch(client, kept), HttpState::Complete);
  EXPECT_EQ(client.ResponseText(), second);
  EXPECT_NE(client.ResponseHeader(L"ETag"), tag);
  EXPECT_EQ(LastCatalogueRequest().rfind("200 \"", 0), 0u) << LastCatalogueRequest();

  EXPECT_NE(log.Text().find(" The server answered with HTTP status 304: not modified\r\n"),
            std::string::npos);
}

TEST_F(ConditionalRequest, ServerWithoutValidatorsKeepsEveryRequestUnconditional) {
  SetValidators("none");
  ASSERT_TRUE(zvu::test::WriteFixtureFile("update.xml", "<catalogue/>"));
  KeptCatalogue kept;
  kept.Remember("earlier", L"\"old\"", L"");
  XHttpClient client;
  ASSERT_EQ(Fetch(client, kept), HttpState::Complete);
  EXPECT_EQ(client.ResponseHeader(L"ETag"), L"");
  kept.RememberResponse(client, client.ResponseText());
  EXPECT_FALSE(kept.HasText()) << "a response without validators forgets the old ones";
  EXPECT_EQ(kept.RequestHeaders(), L"");

  ASSERT_EQ(Fetch(client, kept), HttpState::Complete);
  EXPECT_EQ(client.ResponseText(), "<catalogue/>");
  EXPECT_EQ(LastCatalogueRequest(), "200 - -");
}

TEST_F(ConditionalRequest, A304IsNeverTakenAsABody) {
  LogCapture log("zvu_http_304");
  const std::string file = zvu::test::TempFilePath("zvu_http_304.bin");
  for (bool conditional : {false, true}) {
    for (bool toFile : {false, true}) {
      XHttpClient client;
      ASSERT_EQ(client.Connect(zvu::test::kHost, false, true), 0u);
      client.SetObject(L"/fault/304/x");
      if (conditional) client.SetRequestHeaders(L"If-None-Match: \"fixed\"\r\n");
      ASSERT_EQ(toFile ? client.GetToFile(file) : client.Get(), 0u);
      ASSERT_TRUE(WaitForState(client, kEnded));
      // Without conditions a 304 is just another status that is no success.
      EXPECT_EQ(client.GetHttpState(), conditional ? HttpState::NotModified : HttpState::Failed)
          << conditional << toFile;
      EXPECT_EQ(client.ResponseText(), "");
      if (toFile) {
        EXPECT_EQ(zvu::test::ReadWholeFile(file), "");
      }
    }
  }
  // Connect clears the request headers: the next request is unconditional again.
  XHttpClient client;
  ASSERT_EQ(client.Connect(zvu::test::kHost, false, true), 0u);
  client.SetRequestHeaders(L"If-None-Match: \"fixed\"\r\n");
  ASSERT_EQ(StartGet(client, L"/fault/304/x"), 0u);
  ASSERT_TRUE(WaitForState(client, kEnded));
  EXPECT_EQ(client.GetHttpState(), HttpState::Failed);
  DeleteFileA(file.c_str());
  EXPECT_NE(log.Text().find(" The server answered with HTTP status 304\r\n"), std::string::npos);
}

}  // namespace
