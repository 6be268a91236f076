#pragma once

// How a session of the HTTP client finds its proxy.
//
// The service runs as local system. WINHTTP_ACCESS_TYPE_DEFAULT_PROXY gives
// it only the machine's static WinHTTP setting (netsh winhttp), which is
// "direct" unless an administrator set one, so a network that publishes its
// proxy by WPAD, a configuration script or policy is never passed. The
// service therefore asks for kMachineProxyAccess, which OpenHttpSession
// resolves in this order:
//   1. a proxy set for WinHTTP on the machine: WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
//      which uses exactly that setting;
//   2. none set (direct): WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY (Windows 8.1 and later);
//   3. where that open fails (earlier Windows refuse it): the default proxy,
//      that is direct, and before each request WPAD auto-detection
//      (ApplyDetectedProxy); a detection that finds nothing leaves the
//      request direct.
// Every other access type is opened as asked; WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
// (the client's) falls back to the default proxy where it is refused.

#include <windows.h>
#include <winhttp.h>

#include <mutex>
#include <set>
#include <string>
#include <string_view>

namespace zvu {

// Not one of WinHTTP's access types: the machine's proxy in the order above.
// Never passed to WinHttpOpen itself.
inline constexpr DWORD kMachineProxyAccess = 0x5A560001;

// The signature of WinHttpOpen, the call that opens a session.
using HttpSessionOpener = HINTERNET(WINAPI*)(LPCWSTR agent, DWORD accessType, LPCWSTR proxy,
                                            LPCWSTR proxyBypass, DWORD flags);

// The WinHTTP calls the proxy choice makes: the system's (SystemProxyCalls),
// or stand-ins where the choice is tested.
struct ProxyCalls {
  HttpSessionOpener open;
  BOOL(WINAPI* readMachineProxy)(WINHTTP_PROXY_INFO* info);  // WinHttpGetDefaultProxyConfiguration
  BOOL(WINAPI* findProxyForUrl)(HINTERNET session, LPCWSTR url,
                                WINHTTP_AUTOPROXY_OPTIONS* options,
                                WINHTTP_PROXY_INFO* info);  // WinHttpGetProxyForUrl
  BOOL(WINAPI* setOption)(HINTERNET handle, DWORD option, LPVOID buffer,
                          DWORD length);  // WinHttpSetOption
  BOOL(WINAPI* close)(HINTERNET handle);  // WinHttpCloseHandle
};
const ProxyCalls& SystemProxyCalls();

// How an open session reaches the server.
enum class ProxyRoute {
  AsAsked,          // the caller's access type (or its fallback)
  MachineSetting,   // the machine's WinHTTP proxy
  Automatic,        // WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
  DetectPerRequest  // direct, with WPAD auto-detection before each request
};

struct HttpSession {
  HINTERNET handle = nullptr;
  ProxyRoute route = ProxyRoute::AsAsked;
};

// Writes the records of the proxy in use to the program log, each distinct
// record once: a service that checks every 50 seconds says which proxy it
// uses when it starts, and again only when that changes to one not yet told.
class ProxyRecords {
 public:
  void Write(const std::string& record);

 private:
  static constexpr size_t kMaxKept = 64;  // beyond this, records are written again
  std::mutex lock_;                       // guards written_
  std::set<std::string> written_;
};
// The program's one set of proxy records.
ProxyRecords& ProgramProxyRecords();

// Opens a session with calls.open for accessType (see above), no named proxy.
// Null handle on failure, with the last open's error as the thread's last
// error.
HttpSession OpenHttpSession(const ProxyCalls& calls, ProxyRecords& records, const wchar_t* agent,
                            DWORD accessType, DWORD flags);

// For a request of a session on ProxyRoute::DetectPerRequest: finds the
// proxy for url by WPAD (DHCP and DNS, with the process's credentials if the
// configuration script's server asks for them) and sets it on request. The
// request stays direct when nothing is found or the proxy cannot be set.
// The detection runs in a synchronous session of its own (agent), opened
// direct and closed again, so that nothing it does reaches the transfer's
// status callback; it takes as long as detection takes.
void ApplyDetectedProxy(const ProxyCalls& calls, ProxyRecords& records, const wchar_t* agent,
                        HINTERNET request, const std::wstring& url);

// The record of a 407 answer on request: the authentication schemes the
// proxy offers (WinHttpQueryAuthSchemes), "unknown" when they cannot be read.
std::string ProxyChallengeRecord(HINTERNET request);

// The URL of a request, as the proxy detection is given it:
// "http[s]://host[:port]object".
std::wstring RequestUrl(bool secure, std::wstring_view host, INTERNET_PORT port,
                        std::wstring_view object);

}  // namespace zvu
