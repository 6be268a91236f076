#include "status_text.h"

#include "ansi_text.h"

#include <winhttp.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace zvu {
namespace {

DWORD ReadDword(const void* info, DWORD length) {
  if (info == nullptr || length < sizeof(DWORD)) return 0;
  DWORD value = 0;
  std::memcpy(&value, info, sizeof(value));
  return value;
}

// Formats one integer into a fixed message of this file.
std::string Format(const char* format, int value) {
  char text[160];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

std::string Format(const char* format, int first, int second) {
  char text[160];
  std::snprintf(text, sizeof(text), format, first, second);
  return text;
}

// The new URL of a redirect, as narrow text in the ANSI code page.
std::string RedirectUrl(const void* info, DWORD length) {
  if (info == nullptr) return {};
  const auto* url = static_cast<const wchar_t*>(info);
  const size_t chars = wcsnlen(url, length > 0 ? length : 2048);
  if (chars == 0) return {};
  return Narrow(std::wstring_view(url, chars));
}

std::string SecureFailure(DWORD flags) {
  struct Detail {
    DWORD flag;
    const char* text;
  };
  static constexpr Detail kDetails[] = {
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED,
       "\r\nRevocation check failed to verify whether a certificate has been revoked. The "
       "server used to check for revocation might be unreachable"},
      {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT, "\r\nSSL certificate is invalid"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED, "\r\nSSL certificate was revoked"},
      {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA,
       "\r\nThe function is unfamiliar with the Certificate Authority that generated the "
       "server's certificate"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID, "\r\nSSL certificate common name is incorrect"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID, "\r\nSSL certificate is expired"},
      {WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR,
       "\r\nThe application experienced an internal error loading the SSL libraries"},
  };
  std::string text =
      "Errors were encountered while retrieving a Secure Sockets Layer (SSL) certificate from "
      "the server";
  for (const Detail& detail : kDetails) {
    if (flags & detail.flag) text += detail.text;
  }
  return text;
}

}  // namespace

std::string DescribeStatus(DWORD status, const void* info, DWORD length) {
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_RESOLVING_NAME: return "resolving name... ";
    case WINHTTP_CALLBACK_STATUS_NAME_RESOLVED: return "name resolved.";
    case WINHTTP_CALLBACK_STATUS_CONNECTING_TO_SERVER: return "Connecting to server...";
    case WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER: return "Connected to server...";
    case WINHTTP_CALLBACK_STATUS_SENDING_REQUEST: return "Sending request...";
    case WINHTTP_CALLBACK_STATUS_REQUEST_SENT:
      return Format("Request sent. Bytes sent: %d", static_cast<int>(ReadDword(info, length)));
    case WINHTTP_CALLBACK_STATUS_RECEIVING_RESPONSE: return "Receiving response...";
    case WINHTTP_CALLBACK_STATUS_RESPONSE_RECEIVED: return "Response received!";
    case WINHTTP_CALLBACK_STATUS_CLOSING_CONNECTION: return "Closing connection...";
    case WINHTTP_CALLBACK_STATUS_CONNECTION_CLOSED: return "Connection close!";
    case WINHTTP_CALLBACK_STATUS_HANDLE_CREATED: return "Connection created!";
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING: return "Closing Connection...";
    case WINHTTP_CALLBACK_STATUS_DETECTING_PROXY: return "Detecting proxy...";
    case WINHTTP_CALLBACK_STATUS_REDIRECT: return "Redirected to URL: " + RedirectUrl(info, length);
    case WINHTTP_CALLBACK_STATUS_INTERMEDIATE_RESPONSE:
      return Format("Receiving intermediate status code: %d",
                    static_cast<int>(ReadDword(info, length)));
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE: return SecureFailure(ReadDword(info, length));
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE: return "The response header has been received.";
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      return Format("Data is available to be retrieved. Available %d bytes",
                    static_cast<int>(ReadDword(info, length)));
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      return Format("Data was successfully read from the server. %d bytes read",
                    static_cast<int>(length));
    case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE:
      return Format("Data was successfully written to the server. %d bytes written.",
                    static_cast<int>(ReadDword(info, length)));
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
      WINHTTP_ASYNC_RESULT result{};
      if (info != nullptr && length >= sizeof(result)) std::memcpy(&result, info, sizeof(result));
      return Format("An error occurred while sending an HTTP request. Return value: %d, Error: %d",
                    static_cast<int>(result.dwResult), static_cast<int>(result.dwError));
    }
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE: return "The request completed successfully";
    default: return Format("Unknown status: %d", static_cast<int>(status));
  }
}

}  // namespace zvu
