// The access type a session is opened with: the automatic proxy, falling
// back to the default one where Windows does not know it, and transfers of a
// client that asks for it.
#include <gtest/gtest.h>

#include <vector>

#include "http_client.h"
#include "http_test_support.h"

namespace {

using zvu::HttpState;
using zvu::OpenHttpSession;
using zvu::XHttpClient;

// A stand-in for WinHttpOpen that records the access types asked for and
// refuses those of a list with ERROR_INVALID_PARAMETER, as Windows before
// 8.1 refuses the automatic proxy.
std::vector<DWORD> g_asked;
std::vector<DWORD> g_refused;
HINTERNET g_session = reinterpret_cast<HINTERNET>(0x5e55);

HINTERNET WINAPI RecordingOpen(LPCWSTR, DWORD accessType, LPCWSTR proxy, LPCWSTR bypass, DWORD) {
  g_asked.push_back(accessType);
  EXPECT_EQ(proxy, nullptr);
  EXPECT_EQ(bypass, nullptr);
  for (DWORD refused : g_refused) {
    if (refused == accessType) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  }
  return g_session;
}

HINTERNET OpenWith(DWORD accessType, std::vector<DWORD> refused) {
  g_asked.clear();
  g_refused = std::move(refused);
  return OpenHttpSession(RecordingOpen, L"XHttpClient", accessType, WINHTTP_FLAG_ASYNC);
}

TEST(ProxyAccess, AutomaticProxyFallsBackToTheDefaultWhereItIsRefused) {
  // Windows 8.1 and later.
  EXPECT_EQ(OpenWith(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, {}), g_session);
  EXPECT_EQ(g_asked, std::vector<DWORD>{WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY});

  // Earlier Windows.
  EXPECT_EQ(OpenWith(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, {WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY}),
            g_session);
  EXPECT_EQ(g_asked, (std::vector<DWORD>{WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                         WINHTTP_ACCESS_TYPE_DEFAULT_PROXY}));

  // Neither opens: the failure and its error are the caller's.
  EXPECT_EQ(OpenWith(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                     {WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY}),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(g_asked.size(), 2u);
}

TEST(ProxyAccess, OtherAccessTypesAreOpenedAsAskedWithoutFallback) {
  EXPECT_EQ(OpenWith(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, {}), g_session);
  EXPECT_EQ(g_asked, std::vector<DWORD>{WINHTTP_ACCESS_TYPE_DEFAULT_PROXY});
  EXPECT_EQ(OpenWith(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, {WINHTTP_ACCESS_TYPE_DEFAULT_PROXY}), nullptr);
  EXPECT_EQ(g_asked, std::vector<DWORD>{WINHTTP_ACCESS_TYPE_DEFAULT_PROXY});
}

TEST(ProxyAccess, AClientOnTheAutomaticProxyFetchesFromTheServer) {
  const std::string body = zvu::test::WriteServedFile("proxy_access.bin", 20000);
  zvu::test::LogCapture log("zvu_proxy_access");
  XHttpClient client(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY);
  ASSERT_EQ(zvu::test::StartGet(client, L"/files/proxy_access.bin"), 0u);
  ASSERT_TRUE(zvu::test::WaitForState(client, zvu::test::kFinal));
  EXPECT_EQ(client.GetHttpState(), HttpState::Complete);
  EXPECT_EQ(client.ResponseText(), body);
}

}  // namespace
