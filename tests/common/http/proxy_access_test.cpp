// How a session finds its proxy: the service's order (the machine's WinHTTP
// proxy, else the automatic proxy, else detection before each request), the
// client's automatic proxy with its fallback, the records of the proxy in
// use, and transfers of clients that ask for either.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common_texts.h"
#include "http_client.h"
#include "http_test_support.h"

namespace {

using zvu::HttpSession;
using zvu::HttpState;
using zvu::kMachineProxyAccess;
using zvu::ProxyRoute;
using zvu::XHttpClient;
namespace texts = zvu::common_texts;

// Stand-ins for the WinHTTP calls of the proxy choice. Each records what it
// was asked; what it answers is set by the test.
struct ProxyAnswer {
  bool ok = true;
  DWORD error = 0;
  DWORD accessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
  const wchar_t* proxy = nullptr;
  const wchar_t* bypass = nullptr;
};

struct Recorded {
  std::vector<DWORD> opened;       // access types, in order
  std::vector<DWORD> openFlags;
  std::vector<DWORD> refused;      // access types the open refuses
  ProxyAnswer machine;             // the machine's WinHTTP setting
  ProxyAnswer detected;            // what detection finds
  HINTERNET detectedOn = nullptr;  // the session detection was given
  std::wstring detectedUrl;
  WINHTTP_AUTOPROXY_OPTIONS detectOptions{};
  bool setOk = true;
  HINTERNET setOn = nullptr;
  DWORD setAccessType = 0;
  std::wstring setProxy;
  int sets = 0;
  std::vector<HINTERNET> closed;
};
Recorded g;

HINTERNET g_session = reinterpret_cast<HINTERNET>(0x5e55);
HINTERNET g_request = reinterpret_cast<HINTERNET>(0x7e9);

wchar_t* GlobalCopy(const wchar_t* text) {
  if (text == nullptr) return nullptr;
  const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  auto* copy = static_cast<wchar_t*>(GlobalAlloc(GMEM_FIXED, bytes));
  memcpy(copy, text, bytes);
  return copy;
}

BOOL Answer(const ProxyAnswer& answer, WINHTTP_PROXY_INFO* info) {
  if (!answer.ok) {
    SetLastError(answer.error);
    return FALSE;
  }
  info->dwAccessType = answer.accessType;
  info->lpszProxy = GlobalCopy(answer.proxy);
  info->lpszProxyBypass = GlobalCopy(answer.bypass);
  return TRUE;
}

HINTERNET WINAPI StandInOpen(LPCWSTR, DWORD accessType, LPCWSTR proxy, LPCWSTR bypass,
                             DWORD flags) {
  g.opened.push_back(accessType);
  g.openFlags.push_back(flags);
  EXPECT_EQ(proxy, nullptr);
  EXPECT_EQ(bypass, nullptr);
  for (DWORD refused : g.refused) {
    if (refused == accessType) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  }
  return g_session;
}

BOOL WINAPI StandInReadMachineProxy(WINHTTP_PROXY_INFO* info) { return Answer(g.machine, info); }

BOOL WINAPI StandInFindProxy(HINTERNET session, LPCWSTR url, WINHTTP_AUTOPROXY_OPTIONS* options,
                             WINHTTP_PROXY_INFO* info) {
  g.detectedOn = session;
  g.detectedUrl = url;
  g.detectOptions = *options;
  return Answer(g.detected, info);
}

BOOL WINAPI StandInSetOption(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length) {
  ++g.sets;
  g.setOn = handle;
  EXPECT_EQ(option, static_cast<DWORD>(WINHTTP_OPTION_PROXY));
  EXPECT_EQ(length, sizeof(WINHTTP_PROXY_INFO));
  const auto* info = static_cast<const WINHTTP_PROXY_INFO*>(buffer);
  g.setAccessType = info->dwAccessType;
  g.setProxy = info->lpszProxy != nullptr ? info->lpszProxy : L"";
  if (!g.setOk) SetLastError(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  return g.setOk;
}

BOOL WINAPI StandInClose(HINTERNET handle) {
  g.closed.push_back(handle);
  return TRUE;
}

const zvu::ProxyCalls kStandIns{StandInOpen, StandInReadMachineProxy, StandInFindProxy,
                                StandInSetOption, StandInClose};

class ProxyChoice : public ::testing::Test {
 protected:
  void SetUp() override { g = Recorded{}; }

  HttpSession Open(DWORD accessType) {
    g.opened.clear();
    g.openFlags.clear();
    return zvu::OpenHttpSession(kStandIns, records_, L"XHttpClient", accessType,
                                WINHTTP_FLAG_ASYNC);
  }
  void Detect() {
    g.opened.clear();
    g.openFlags.clear();
    zvu::ApplyDetectedProxy(kStandIns, records_, L"XHttpClient", g_request,
                            L"https://" ZVU_TEST_UPDATE_HOST "/update/");
  }

  zvu::ProxyRecords records_;
};

TEST_F(ProxyChoice, TheServiceKeepsTheMachinesProxyAndOtherwiseTakesTheAutomaticOne) {
  zvu::test::LogCapture log("zvu_proxy_order");
  const std::string machineRecord =
      " Proxy in use: proxy.corp:8080, the machine's WinHTTP proxy setting (bypass list: <local>)\r\n";

  // A proxy set with netsh winhttp: the default proxy is exactly that one.
  g.machine = {true, 0, WINHTTP_ACCESS_TYPE_NAMED_PROXY, L"proxy.corp:8080", L"<local>"};
  HttpSession session = Open(kMachineProxyAccess);
  EXPECT_EQ(session.handle, g_session);
  EXPECT_EQ(session.route, ProxyRoute::MachineSetting);
  EXPECT_EQ(g.opened, std::vector<DWORD>{WINHTTP_ACCESS_TYPE_DEFAULT_PROXY});
  EXPECT_EQ(g.openFlags, std::vector<DWORD>{WINHTTP_FLAG_ASYNC});
  // Every check opens a session; the record is written once.
  Open(kMachineProxyAccess);
  EXPECT_EQ(log.Count(machineRecord), 1u) << log.Text();

  // Direct (netsh winhttp reset proxy), or a list that names nothing.
  for (const wchar_t* proxy : {static_cast<const wchar_t*>(nullptr), L""}) {
    g.machine = {true, 0, WINHTTP_ACCESS_TYPE_NO_PROXY, proxy, nullptr};
    session = Open(kMachineProxyAccess);
    EXPECT_EQ(session.handle, g_session);
    EXPECT_EQ(session.route, ProxyRoute::Automatic);
    EXPECT_EQ(g.opened, std::vector<DWORD>{WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY});
  }
  g.machine = {true, 0, WINHTTP_ACCESS_TYPE_NAMED_PROXY, L"", nullptr};
  EXPECT_EQ(Open(kMachineProxyAccess).route, ProxyRoute::Automatic);
  EXPECT_LE(log.Count(texts::kProxyAutomatic), 1u) << log.Text();

  // A setting that cannot be read counts as direct, and says so once.
  g.machine = {false, ERROR_NOT_ENOUGH_MEMORY};
  EXPECT_EQ(Open(kMachineProxyAccess).route, ProxyRoute::Automatic);
  Open(kMachineProxyAccess);
  EXPECT_EQ(log.Count(" The machine's WinHTTP proxy setting could not be read (error 8)\r\n"), 1u)
      << log.Text();

  // Before Windows 8.1: direct, with detection before each request.
  g.machine = {true, 0, WINHTTP_ACCESS_TYPE_NO_PROXY};
  g.refused = {WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY};
  session = Open(kMachineProxyAccess);
  EXPECT_EQ(session.handle, g_session);
  EXPECT_EQ(session.route, ProxyRoute::DetectPerRequest);
  EXPECT_EQ(g.opened, (std::vector<DWORD>{WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                          WINHTTP_ACCESS_TYPE_DEFAULT_PROXY}));

  // Nothing opens: the failure and its error are the caller's.
  g.refused = {WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY};
  EXPECT_EQ(Open(kMachineProxyAccess).handle, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // The machine's proxy refused: no way around it is tried.
  g.machine = {true, 0, WINHTTP_ACCESS_TYPE_NAMED_PROXY, L"proxy.corp:8080", L"<local>"};
  EXPECT_EQ(Open(kMachineProxyAccess).handle, nullptr);
  EXPECT_EQ(g.opened, std::vector<DWORD>{WINHTTP_ACCESS_TYPE_DEFAULT_PROXY});
  EXPECT_EQ(log.Count(machineRecord), 1u) << log.Text();
}

TEST_F(ProxyChoice, DetectionBeforeARequestSetsTheProxyItFindsOrLeavesTheRequestDirect) {
  zvu::test::LogCapture log("zvu_proxy_detect");

  // Found: set on the request; the detection had a direct, synchronous
  // session of its own, which is closed again.
  g.detected = {true, 0, WINHTTP_ACCESS_TYPE_NAMED_PROXY, L"wpad-proxy:3128", nullptr};
  Detect();
  EXPECT_EQ(g.opened, std::vector<DWORD>{WINHTTP_ACCESS_TYPE_NO_PROXY});
  EXPECT_EQ(g.openFlags, std::vector<DWORD>{0});
  EXPECT_EQ(g.detectedOn, g_session);
  EXPECT_EQ(g.closed, std::vector<HINTERNET>{g_session});
  EXPECT_EQ(g.detectedUrl, L"https://" ZVU_TEST_UPDATE_HOST "/update/");
  EXPECT_EQ(g.detectOptions.dwFlags, static_cast<DWORD>(WINHTTP_AUTOPROXY_AUTO_DETECT));
  EXPECT_EQ(g.detectOptions.dwAutoDetectFlags,
            static_cast<DWORD>(WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A));
  EXPECT_FALSE(g.detectOptions.fAutoLogonIfChallenged);  // no machine credentials to WPAD hosts
  EXPECT_EQ(g.detectOptions.lpszAutoConfigUrl, nullptr);
  EXPECT_EQ(g.sets, 1);
  EXPECT_EQ(g.setOn, g_request);
  EXPECT_EQ(g.setAccessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NAMED_PROXY));
  EXPECT_EQ(g.setProxy, L"wpad-proxy:3128");
  Detect();  // the next check: the same proxy, no second record
  EXPECT_EQ(log.Count(" Proxy in use: wpad-proxy:3128, found by proxy auto-detection (bypass list: none)\r\n"),
            1u)
      << log.Text();

  // Nothing found: the request goes direct, nothing is set.
  g = Recorded{};
  g.detected = {false, ERROR_WINHTTP_AUTODETECTION_FAILED};
  Detect();
  Detect();
  EXPECT_EQ(g.sets, 0);
  EXPECT_EQ(g.closed.size(), 2u);
  EXPECT_EQ(log.Count(" Proxy in use: none, proxy auto-detection found no proxy (error 12180)\r\n"), 1u)
      << log.Text();

  // A configuration script that says DIRECT: set as it is.
  g = Recorded{};
  g.detected = {true, 0, WINHTTP_ACCESS_TYPE_NO_PROXY};
  Detect();
  EXPECT_EQ(g.sets, 1);
  EXPECT_EQ(g.setAccessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NO_PROXY));
  EXPECT_EQ(log.Count(texts::kProxyDetectedDirect), 1u) << log.Text();

  // A proxy that cannot be set, and a detection session that cannot be opened.
  g = Recorded{};
  g.detected = {true, 0, WINHTTP_ACCESS_TYPE_NAMED_PROXY, L"wpad-proxy:3128", nullptr};
  g.setOk = false;
  Detect();
  EXPECT_EQ(log.Count(" Proxy in use: none, the proxy found by auto-detection could not be set (error 12019)\r\n"),
            1u)
      << log.Text();
  g = Recorded{};
  g.refused = {WINHTTP_ACCESS_TYPE_NO_PROXY};
  Detect();
  EXPECT_EQ(g.sets, 0);
  EXPECT_TRUE(g.closed.empty());
  EXPECT_EQ(log.Count(" Proxy in use: none, proxy auto-detection found no proxy (error 87)\r\n"), 1u)
      << log.Text();
}

// A configuration script comes from the network: what it names cannot forge
// a record of its own in the log.
TEST_F(ProxyChoice, ProxyNamesAreLoggedOnOneLine) {
  zvu::test::LogCapture log("zvu_proxy_line");
  g.detected = {true, 0, WINHTTP_ACCESS_TYPE_NAMED_PROXY, L"p:1\r\n Update installed", L"a\tb"};
  Detect();
  EXPECT_EQ(log.Text(),
            " Proxy in use: p:1?? Update installed, found by proxy auto-detection (bypass list: a?b)\r\n");
}

TEST_F(ProxyChoice, TheClientsAutomaticProxyFallsBackToTheDefaultWhereItIsRefused) {
  zvu::test::LogCapture log("zvu_proxy_client");
  // Windows 8.1 and later.
  EXPECT_EQ(Open(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY).handle, g_session);
  EXPECT_EQ(g.opened, std::vector<DWORD>{WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY});

  // Earlier Windows.
  g.refused = {WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY};
  const HttpSession session = Open(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY);
  EXPECT_EQ(session.handle, g_session);
  EXPECT_EQ(session.route, ProxyRoute::AsAsked);
  EXPECT_EQ(g.opened, (std::vector<DWORD>{WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                          WINHTTP_ACCESS_TYPE_DEFAULT_PROXY}));

  // Neither opens.
  g.refused = {WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY};
  EXPECT_EQ(Open(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY).handle, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(g.opened.size(), 2u);

  // Other access types are opened as asked, without fallback.
  g.refused = {};
  EXPECT_EQ(Open(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY).handle, g_session);
  EXPECT_EQ(g.opened, std::vector<DWORD>{WINHTTP_ACCESS_TYPE_DEFAULT_PROXY});
  g.refused = {WINHTTP_ACCESS_TYPE_DEFAULT_PROXY};
  EXPECT_EQ(Open(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY).handle, nullptr);
  EXPECT_EQ(g.opened, std::vector<DWORD>{WINHTTP_ACCESS_TYPE_DEFAULT_PROXY});
  // The machine's setting is read for the service only, and nothing is logged.
  EXPECT_EQ(log.Text(), "");
}

TEST(ProxyRequestUrl, NamesTheSchemeAndAPortOtherThanTheUsualOne) {
  EXPECT_EQ(zvu::RequestUrl(true, L"up.example", 443, L"/update/"), L"https://up.example/update/");
  EXPECT_EQ(zvu::RequestUrl(false, L"up.example", 80, L"/a b?x=1"), L"http://up.example/a b?x=1");
  EXPECT_EQ(zvu::RequestUrl(false, L"up.example", 8080, L"x"), L"http://up.example:8080/x");
}

TEST(ProxyAccess, ClientsOnEitherProxyAccessFetchFromTheServer) {
  const std::string body = zvu::test::WriteServedFile("proxy_access.bin", 20000);
  zvu::test::LogCapture log("zvu_proxy_access");
  for (DWORD access : {static_cast<DWORD>(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY), kMachineProxyAccess,
                       kMachineProxyAccess}) {
    XHttpClient client(access);
    ASSERT_EQ(zvu::test::StartGet(client, L"/files/proxy_access.bin"), 0u) << access;
    ASSERT_TRUE(zvu::test::WaitForState(client, zvu::test::kFinal)) << access;
    EXPECT_EQ(client.GetHttpState(), HttpState::Complete) << access;
    EXPECT_EQ(client.ResponseText(), body) << access;
  }
  // Wine has no WinHTTP proxy set and opens the automatic proxy: at most its
  // one record (none when an earlier test of this program wrote it).
  EXPECT_LE(log.Count(texts::kProxyAutomatic), 1u) << log.Text();
  EXPECT_EQ(log.Count(" Proxy in use: none"), 0u) << log.Text();
}

// A proxy on the way that wants credentials: the transfer fails with the
// status record as before, and a record that says what happened.
TEST(ProxyAccess, A407AnswerIsLoggedAsAProxyAskingForCredentials) {
  zvu::test::LogCapture log("zvu_proxy_407");
  XHttpClient client(kMachineProxyAccess);
  ASSERT_EQ(zvu::test::StartGet(client, L"/fault/407/x"), 0u);
  ASSERT_TRUE(zvu::test::WaitForState(client, zvu::test::kFinal));
  EXPECT_EQ(client.GetHttpState(), HttpState::Failed);
  const std::string text = log.Text();
  const size_t status = text.find(" The server answered with HTTP status 407\r\n");
  const size_t record =
      text.find(" A proxy asked for credentials (HTTP status 407, schemes: Basic); none were given\r\n");
  EXPECT_NE(status, std::string::npos) << text;
  EXPECT_NE(record, std::string::npos) << text;
  EXPECT_LT(status, record) << text;
}

}  // namespace
