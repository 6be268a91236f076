#include "status_text.h"

#include <winhttp.h>

#include <gtest/gtest.h>

namespace {

using zvu::DescribeStatus;

TEST(StatusText, FixedTextsOfTheTransferLog) {
  const struct {
    DWORD status;
    const char* text;
  } kFixed[] = {
      {WINHTTP_CALLBACK_STATUS_RESOLVING_NAME, "resolving name... "},
      {WINHTTP_CALLBACK_STATUS_NAME_RESOLVED, "name resolved."},
      {WINHTTP_CALLBACK_STATUS_CONNECTING_TO_SERVER, "Connecting to server..."},
      {WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER, "Connected to server..."},
      {WINHTTP_CALLBACK_STATUS_SENDING_REQUEST, "Sending request..."},
      {WINHTTP_CALLBACK_STATUS_RECEIVING_RESPONSE, "Receiving response..."},
      {WINHTTP_CALLBACK_STATUS_RESPONSE_RECEIVED, "Response received!"},
      {WINHTTP_CALLBACK_STATUS_CLOSING_CONNECTION, "Closing connection..."},
      {WINHTTP_CALLBACK_STATUS_CONNECTION_CLOSED, "Connection close!"},
      {WINHTTP_CALLBACK_STATUS_HANDLE_CREATED, "Connection created!"},
      {WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING, "Closing Connection..."},
      {WINHTTP_CALLBACK_STATUS_DETECTING_PROXY, "Detecting proxy..."},
      {WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE, "The response header has been received."},
      {WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE, "The request completed successfully"},
  };
  for (const auto& entry : kFixed) {
    EXPECT_EQ(DescribeStatus(entry.status, nullptr, 0), entry.text) << std::hex << entry.status;
  }
}

TEST(StatusText, NumbersComeFromTheStatusInformation) {
  DWORD value = 8192;
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_REQUEST_SENT, &value, sizeof(value)),
            "Request sent. Bytes sent: 8192");
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE, &value, sizeof(value)),
            "Data is available to be retrieved. Available 8192 bytes");
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE, &value, sizeof(value)),
            "Data was successfully written to the server. 8192 bytes written.");
  value = 100;
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_INTERMEDIATE_RESPONSE, &value, sizeof(value)),
            "Receiving intermediate status code: 100");
  // A read completion reports its length, not the buffer's contents.
  char buffer[16] = "abc";
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_READ_COMPLETE, buffer, 3),
            "Data was successfully read from the server. 3 bytes read");
  WINHTTP_ASYNC_RESULT result{API_RECEIVE_RESPONSE, ERROR_WINHTTP_TIMEOUT};
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_REQUEST_ERROR, &result, sizeof(result)),
            "An error occurred while sending an HTTP request. Return value: 1, Error: 12002");
  const wchar_t url[] = L"http://update.zelko.example/files/new.msi";
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_REDIRECT, url, ARRAYSIZE(url)),
            "Redirected to URL: http://update.zelko.example/files/new.msi");
  EXPECT_EQ(DescribeStatus(0x12345, nullptr, 0), "Unknown status: 74565");
}

TEST(StatusText, MissingOrShortInformationReadsAsZero) {
  const WORD shortValue = 7;
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE, nullptr, 4),
            "Data is available to be retrieved. Available 0 bytes");
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_REQUEST_SENT, &shortValue, sizeof(shortValue)),
            "Request sent. Bytes sent: 0");
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_REQUEST_ERROR, &shortValue, sizeof(shortValue)),
            "An error occurred while sending an HTTP request. Return value: 0, Error: 0");
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_REDIRECT, nullptr, 10), "Redirected to URL: ");
  // An unterminated URL is read only as far as its length.
  const wchar_t unterminated[3] = {L'a', L'b', L'c'};
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_REDIRECT, unterminated, 2),
            "Redirected to URL: ab");
}

TEST(StatusText, SecureFailureListsEachFlagInOrder) {
  const std::string head =
      "Errors were encountered while retrieving a Secure Sockets Layer (SSL) certificate from "
      "the server";
  DWORD flags = 0x2 | 0x20;
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_SECURE_FAILURE, &flags, sizeof(flags)),
            head + "\r\nSSL certificate is invalid\r\nSSL certificate is expired");

  flags = 0xFFFFFFFF;
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_SECURE_FAILURE, &flags, sizeof(flags)),
            head +
                "\r\nRevocation check failed to verify whether a certificate has been revoked. "
                "The server used to check for revocation might be unreachable"
                "\r\nSSL certificate is invalid"
                "\r\nSSL certificate was revoked"
                "\r\nThe function is unfamiliar with the Certificate Authority that generated "
                "the server's certificate"
                "\r\nSSL certificate common name is incorrect"
                "\r\nSSL certificate is expired"
                "\r\nThe application experienced an internal error loading the SSL libraries");
  EXPECT_EQ(DescribeStatus(WINHTTP_CALLBACK_STATUS_SECURE_FAILURE, nullptr, 0), head);
}

}  // namespace
