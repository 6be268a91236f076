#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "http_state.h"
#include "proxy_choice.h"

namespace zvu {

namespace http_detail {
struct ClientCore;
struct Transfer;
}  // namespace http_detail

// Result of an operation that cannot start: no connection, or the output
// file cannot be opened.
inline constexpr DWORD kHttpCannotStart = 0xFFFFFFFF;

// The registered window message "UWM_HTTPCLIENT_CALLBACK_NOTIFY". The client
// sends it synchronously to its notify window after every status of a live
// transfer: wParam = the XHttpClient*, lParam = the WinHTTP status code.
UINT HttpClientNotifyMessage();

// One asynchronous HTTP GET at a time over WinHTTP, driven by its status
// callback. The body goes into memory (Get) or into a file (GetToFile); every
// status is written to the program log. Operations (and Host, Object, Port,
// Secure) are called from one thread at a time; GetHttpState, SetHttpState,
// ReceivedBytes, ContentLength, ResponseText, ResponseHeader, Mode and
// NotifyWindow may be called from any thread, including the notify window's
// handler.
//
// Each Connect starts a new transfer with its own WinHTTP handles and receive
// buffer. Once the client has closed a transfer's handles (CloseHandles,
// Cancel, the next Connect, destruction), notifications that WinHTTP still
// delivers for it are logged but change nothing and reach no window. The
// destructor waits (bounded) for the closing notifications of all handles,
// dispatching messages sent to its thread meanwhile.
class XHttpClient {
 public:
  // accessType is WinHttpOpen's, or kMachineProxyAccess: the service asks
  // for the machine's proxy (proxy_choice.h); the client, which runs as the
  // user, asks for WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY. Others keep the
  // default, the machine's static WinHTTP setting.
  explicit XHttpClient(DWORD accessType = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY);
  ~XHttpClient();
  XHttpClient(const XHttpClient&) = delete;
  XHttpClient& operator=(const XHttpClient&) = delete;

  // Closes the previous transfer, clears the buffers and opens a session.
  // 0, or the Windows error of the call that failed.
  DWORD OpenSession();
  // Opens a session and a connection to host (port 443 when secure, else 80).
  // 0, or a Windows error (ERROR_WINHTTP_INVALID_URL for an empty host).
  DWORD Connect(std::wstring_view host, bool secure, bool asynchronous);
  void SetObject(std::wstring_view object);
  // Extra request headers for the next Get or GetToFile on this connection,
  // each line "Name: value" ended by "\r\n"; Connect clears them. A request
  // sent with them may end in HttpState::NotModified (a 304 answer).
  void SetRequestHeaders(std::wstring_view headers);
  // Sends the GET of the object; the body is collected in the response text.
  // 0 when sent; kHttpCannotStart without a connection or when this
  // connection already carried a request; else the Windows error.
  DWORD Get();
  // As Get, the body written to localPath (created or truncated).
  // kHttpCannotStart also when the file cannot be opened.
  DWORD GetToFile(const std::string& localPath);
  // Stops the transfer: closes the output file and the handles (HttpState::Closing). 0.
  DWORD Cancel();
  // Closes the transfer's handles; the state becomes 9.
  void CloseHandles();
  // Clears host, request flags, response text, counters and the output file.
  void Reset();

  // Window that receives HttpClientNotifyMessage(); null for none.
  void SetNotifyWindow(HWND window);
  HWND NotifyWindow() const;

  HttpState GetHttpState() const;
  // Used by the download page to acknowledge a completed download (HttpState::Acknowledged).
  void SetHttpState(HttpState state);
  std::uint64_t ReceivedBytes() const;
  // Content-Length of the response in file mode; 0 until read.
  std::uint32_t ContentLength() const;
  std::string ResponseText() const;
  // The value of the first header called name (compared without regard to
  // case) in the headers of the current transfer's response, without the
  // white space around it; empty when the response had no such header or has
  // not arrived yet.
  std::wstring ResponseHeader(std::wstring_view name) const;
  TransferMode Mode() const;

  const std::wstring& Host() const { return host_; }
  const std::wstring& Object() const { return object_; }
  INTERNET_PORT Port() const { return port_; }
  bool Secure() const { return secure_; }

 private:
  DWORD SendGet(http_detail::Transfer& transfer);
  void WaitForCallbacksToEnd();

  std::shared_ptr<http_detail::ClientCore> core_;
  bool destroying_ = false;
  bool secure_ = false;
  const std::wstring agent_ = L"XHttpClient";
  const DWORD accessType_;
  ProxyRoute proxyRoute_ = ProxyRoute::AsAsked;  // the current session's
  DWORD sessionFlags_ = 0;
  INTERNET_PORT port_ = INTERNET_DEFAULT_HTTP_PORT;
  DWORD requestFlags_ = 0;
  std::wstring host_;
  std::wstring object_;
  std::wstring requestHeaders_;
};

}  // namespace zvu
