#include "proxy_choice.h"

#include "ansi_text.h"
#include "common_texts.h"
#include "format_text.h"
#include "program_log.h"

namespace zvu {
namespace {

// A proxy list or bypass list as a record shows it: ANSI text, control
// characters replaced (a configuration script comes from the network, and a
// line end would forge a record), at most kMaxChars characters.
std::string LogText(const wchar_t* text, const char* absent) {
  constexpr size_t kMaxChars = 512;
  if (text == nullptr || *text == L'\0') return absent;
  std::wstring_view view(text);
  std::string narrow = Narrow(view.substr(0, kMaxChars));
  for (char& c : narrow) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return narrow;
}

// WinHttpGetDefaultProxyConfiguration and WinHttpGetProxyForUrl allocate
// both strings with GlobalAlloc; the caller frees them with GlobalFree.
void FreeProxyInfo(WINHTTP_PROXY_INFO& info) {
  if (info.lpszProxy != nullptr) GlobalFree(info.lpszProxy);
  if (info.lpszProxyBypass != nullptr) GlobalFree(info.lpszProxyBypass);
  info.lpszProxy = nullptr;
  info.lpszProxyBypass = nullptr;
}

HINTERNET Open(const ProxyCalls& calls, const wchar_t* agent, DWORD accessType, DWORD flags) {
  return calls.open(agent, accessType, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, flags);
}

// The machine's WinHTTP proxy, when one is set: the record that tells it;
// empty when the setting is direct or cannot be read (which has its record).
std::string MachineProxyRecord(const ProxyCalls& calls, ProxyRecords& records) {
  WINHTTP_PROXY_INFO info{};
  if (!calls.readMachineProxy(&info)) {
    records.Write(FormatText(common_texts::kProxySettingNotRead,
                             static_cast<unsigned long>(GetLastError())));
    return {};
  }
  std::string record;
  // The documentation: WINHTTP_ACCESS_TYPE_NAMED_PROXY when the registry holds
  // a list of proxy servers, WINHTTP_ACCESS_TYPE_NO_PROXY otherwise.
  if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy != nullptr &&
      *info.lpszProxy != L'\0') {
    record = FormatText(common_texts::kProxyMachineSetting, LogText(info.lpszProxy, "").c_str(),
                        LogText(info.lpszProxyBypass, "none").c_str());
  }
  FreeProxyInfo(info);
  return record;
}

}  // namespace

const ProxyCalls& SystemProxyCalls() {
  static const ProxyCalls calls{WinHttpOpen, WinHttpGetDefaultProxyConfiguration,
                                WinHttpGetProxyForUrl, WinHttpSetOption, WinHttpCloseHandle};
  return calls;
}

void ProxyRecords::Write(const std::string& record) {
  if (record.empty()) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (written_.count(record) != 0) return;
    if (written_.size() >= kMaxKept) written_.clear();
    written_.insert(record);
  }
  ProgramLog::Write(record);
}

ProxyRecords& ProgramProxyRecords() {
  static ProxyRecords records;
  return records;
}

HttpSession OpenHttpSession(const ProxyCalls& calls, ProxyRecords& records, const wchar_t* agent,
                            DWORD accessType, DWORD flags) {
  if (accessType != kMachineProxyAccess) {
    HINTERNET session = Open(calls, agent, accessType, flags);
    // Windows before 8.1 refuse the automatic proxy; the documentation names
    // no error, so any failure counts.
    if (session == nullptr && accessType == WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY) {
      session = Open(calls, agent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, flags);
    }
    return {session, ProxyRoute::AsAsked};
  }

  if (const std::string record = MachineProxyRecord(calls, records); !record.empty()) {
    // The default proxy is exactly the machine's setting.
    HINTERNET session = Open(calls, agent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, flags);
    if (session != nullptr) records.Write(record);
    return {session, ProxyRoute::MachineSetting};
  }
  if (HINTERNET session = Open(calls, agent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, flags)) {
    records.Write(common_texts::kProxyAutomatic);
    return {session, ProxyRoute::Automatic};
  }
  // The default proxy is direct here (or its setting unreadable); each
  // request looks for a proxy of its own.
  HINTERNET session = Open(calls, agent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, flags);
  return {session, session != nullptr ? ProxyRoute::DetectPerRequest : ProxyRoute::AsAsked};
}

void ApplyDetectedProxy(const ProxyCalls& calls, ProxyRecords& records, const wchar_t* agent,
                        HINTERNET request, const std::wstring& url) {
  WINHTTP_AUTOPROXY_OPTIONS options{};
  options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
  options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  // No credentials for the configuration script: its server is whoever
  // answers the DHCP or DNS question for WPAD on the local network, and the
  // service's are the machine account's (an NTLM answer to such a host can be
  // relayed). A script behind authentication is not read; the request goes
  // direct and the log says detection failed.
  options.fAutoLogonIfChallenged = FALSE;
  WINHTTP_PROXY_INFO info{};
  HINTERNET lookup = Open(calls, agent, WINHTTP_ACCESS_TYPE_NO_PROXY, 0);
  const bool found =
      lookup != nullptr && calls.findProxyForUrl(lookup, url.c_str(), &options, &info);
  const DWORD error = GetLastError();
  if (lookup != nullptr) calls.close(lookup);
  if (!found) {
    FreeProxyInfo(info);
    records.Write(FormatText(common_texts::kProxyNotDetected, static_cast<unsigned long>(error)));
    return;
  }
  const bool direct = info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY ||
                      info.lpszProxy == nullptr || *info.lpszProxy == L'\0';
  std::string record;
  if (!calls.setOption(request, WINHTTP_OPTION_PROXY, &info, sizeof(info))) {
    record = FormatText(common_texts::kProxyNotSet, static_cast<unsigned long>(GetLastError()));
  } else if (direct) {
    record = common_texts::kProxyDetectedDirect;
  } else {
    record = FormatText(common_texts::kProxyDetected, LogText(info.lpszProxy, "").c_str(),
                        LogText(info.lpszProxyBypass, "none").c_str());
  }
  FreeProxyInfo(info);
  records.Write(record);
}

std::string ProxyChallengeRecord(HINTERNET request) {
  struct Scheme {
    DWORD flag;
    const char* name;
  };
  static constexpr Scheme kSchemes[] = {
      {WINHTTP_AUTH_SCHEME_NEGOTIATE, "Negotiate"}, {WINHTTP_AUTH_SCHEME_NTLM, "NTLM"},
      {WINHTTP_AUTH_SCHEME_DIGEST, "Digest"},       {WINHTTP_AUTH_SCHEME_BASIC, "Basic"},
      {WINHTTP_AUTH_SCHEME_PASSPORT, "Passport"}};
  DWORD supported = 0;
  DWORD first = 0;
  DWORD target = 0;
  std::string names;
  if (WinHttpQueryAuthSchemes(request, &supported, &first, &target)) {
    for (const Scheme& scheme : kSchemes) {
      if ((supported & scheme.flag) == 0) continue;
      if (!names.empty()) names += ", ";
      names += scheme.name;
    }
  }
  if (names.empty()) names = "unknown";
  return FormatText(common_texts::kProxyAskedForCredentials, names.c_str());
}

std::wstring RequestUrl(bool secure, std::wstring_view host, INTERNET_PORT port,
                        std::wstring_view object) {
  std::wstring url = secure ? L"https://" : L"http://";
  url.append(host);
  const INTERNET_PORT usual = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  if (port != usual) url += L":" + std::to_wstring(port);
  if (object.empty() || object.front() != L'/') url += L'/';
  url.append(object);
  return url;
}

}  // namespace zvu
