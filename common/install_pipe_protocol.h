#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue_entry.h"

namespace zvu {

// The named pipe on which a client asks the service to install a verified
// update (docs/INSTALL-PIPE.md describes the exchange). A message pipe: every
// request and every answer is one message.
inline constexpr char kInstallPipeName[] = "\\\\.\\pipe\\ZelkoVuroUpdate.Install";

// Kinds of message, the first byte of each.
inline constexpr uint8_t kInstallRequestKind = 0x01;   // client to service
inline constexpr uint8_t kReceivedAnswerKind = 0x81;   // bytes received, total
inline constexpr uint8_t kInstallingAnswerKind = 0x82; // the installer runs
inline constexpr uint8_t kResultAnswerKind = 0x83;     // the last answer

// A request: kind, name length n, n bytes of product name (printable ASCII),
// then major, minor, build and subbuild (4 bytes each, little-endian).
inline constexpr size_t kMaxInstallProductName = 128;
inline constexpr size_t kInstallRequestFixedSize = 2 + 16;
inline constexpr size_t kMaxInstallRequestSize = kInstallRequestFixedSize + kMaxInstallProductName;
// Answers: received = kind + 8 + 8 bytes; installing = kind; result = kind + code.
inline constexpr size_t kReceivedAnswerSize = 17;
inline constexpr size_t kInstallingAnswerSize = 1;
inline constexpr size_t kResultAnswerSize = 2;
inline constexpr size_t kMaxInstallAnswerSize = kReceivedAnswerSize;

// The last answer's code. The values travel on the wire: never renumber.
enum class InstallResultCode : uint8_t {
  kInstalled = 0,
  kInstallFailed = 1,
  kDownloadFailed = 2,
  kDigestMismatch = 3,
  kNotListed = 4,        // refused: the service's catalogue does not list it
  kNoDigest = 5,         // refused: listed without a sha256
  kNotApplicable = 6,    // refused: does not apply to the installed version
  kNotAllowed = 7,       // refused: the requester is no interactive user
  kBusy = 8,             // another installation runs; ask again later
  kServiceError = 9,     // the service could not do its part
  kBadRequest = 10,      // the request broke the protocol
};
inline constexpr uint8_t kLastInstallResultCode = 10;

struct InstallRequest {
  std::string product;
  ProductVersion version;
};

// Why a request was not read.
enum class RequestFault {
  kNone,
  kEmpty,           // no bytes
  kUnknownKind,     // first byte is no request
  kBadLength,       // too short for its name, or a name length out of range
  kBadName,         // a name byte outside printable ASCII
  kTrailingBytes,   // more bytes than the name length says
};

namespace install_pipe_detail {
inline void PutLe(unsigned char* at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}
inline uint64_t GetLe(const unsigned char* at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(at[i]) << (8 * i);
  return value;
}
}  // namespace install_pipe_detail

inline bool IsPrintableProductName(std::string_view name) {
  if (name.empty() || name.size() > kMaxInstallProductName) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return false;
  }
  return true;
}

// The request's bytes; empty when the name cannot be sent (empty, too long,
// or not printable ASCII).
inline std::string EncodeInstallRequest(const InstallRequest& request) {
  if (!IsPrintableProductName(request.product)) return {};
  std::string bytes(kInstallRequestFixedSize + request.product.size(), '\0');
  auto* at = reinterpret_cast<unsigned char*>(bytes.data());
  at[0] = kInstallRequestKind;
  at[1] = static_cast<unsigned char>(request.product.size());
  bytes.replace(2, request.product.size(), request.product);
  at += 2 + request.product.size();
  const uint32_t numbers[4] = {request.version.major, request.version.minor,
                               request.version.build, request.version.subbuild};
  for (int i = 0; i < 4; ++i) install_pipe_detail::PutLe(at + 4 * i, numbers[i], 4);
  return bytes;
}

// Reads one whole request message. Every byte must be accounted for.
inline RequestFault DecodeInstallRequest(std::string_view bytes, InstallRequest* request) {
  if (bytes.empty()) return RequestFault::kEmpty;
  const auto* at = reinterpret_cast<const unsigned char*>(bytes.data());
  if (at[0] != kInstallRequestKind) return RequestFault::kUnknownKind;
  if (bytes.size() < kInstallRequestFixedSize + 1) return RequestFault::kBadLength;
  const size_t nameLength = at[1];
  if (nameLength == 0 || nameLength > kMaxInstallProductName) return RequestFault::kBadLength;
  const size_t expected = kInstallRequestFixedSize + nameLength;
  if (bytes.size() < expected) return RequestFault::kBadLength;
  if (bytes.size() > expected) return RequestFault::kTrailingBytes;
  const std::string_view name = bytes.substr(2, nameLength);
  if (!IsPrintableProductName(name)) return RequestFault::kBadName;
  const unsigned char* numbers = at + 2 + nameLength;
  request->product.assign(name);
  request->version.major = static_cast<uint32_t>(install_pipe_detail::GetLe(numbers, 4));
  request->version.minor = static_cast<uint32_t>(install_pipe_detail::GetLe(numbers + 4, 4));
  request->version.build = static_cast<uint32_t>(install_pipe_detail::GetLe(numbers + 8, 4));
  request->version.subbuild = static_cast<uint32_t>(install_pipe_detail::GetLe(numbers + 12, 4));
  return RequestFault::kNone;
}

inline std::string EncodeReceivedAnswer(uint64_t bytes, uint64_t total) {
  std::string message(kReceivedAnswerSize, '\0');
  auto* at = reinterpret_cast<unsigned char*>(message.data());
  at[0] = kReceivedAnswerKind;
  install_pipe_detail::PutLe(at + 1, bytes, 8);
  install_pipe_detail::PutLe(at + 9, total, 8);
  return message;
}

inline std::string EncodeInstallingAnswer() {
  return std::string(1, static_cast<char>(kInstallingAnswerKind));
}

inline std::string EncodeResultAnswer(InstallResultCode code) {
  std::string message(kResultAnswerSize, '\0');
  message[0] = static_cast<char>(kResultAnswerKind);
  message[1] = static_cast<char>(code);
  return message;
}

// One answer as the client reads it.
struct InstallAnswer {
  uint8_t kind = 0;
  uint64_t bytes = 0;   // kReceivedAnswerKind
  uint64_t total = 0;   // kReceivedAnswerKind
  InstallResultCode result = InstallResultCode::kServiceError;  // kResultAnswerKind
};

// Reads one whole answer message; nothing for an unknown kind, a wrong
// length or an unknown result code.
inline std::optional<InstallAnswer> DecodeInstallAnswer(std::string_view bytes) {
  if (bytes.empty()) return std::nullopt;
  const auto* at = reinterpret_cast<const unsigned char*>(bytes.data());
  InstallAnswer answer;
  answer.kind = at[0];
  switch (answer.kind) {
    case kReceivedAnswerKind:
      if (bytes.size() != kReceivedAnswerSize) return std::nullopt;
      answer.bytes = install_pipe_detail::GetLe(at + 1, 8);
      answer.total = install_pipe_detail::GetLe(at + 9, 8);
      return answer;
    case kInstallingAnswerKind:
      if (bytes.size() != kInstallingAnswerSize) return std::nullopt;
      return answer;
    case kResultAnswerKind:
      if (bytes.size() != kResultAnswerSize || at[1] > kLastInstallResultCode) return std::nullopt;
      answer.result = static_cast<InstallResultCode>(at[1]);
      return answer;
    default:
      return std::nullopt;
  }
}

}  // namespace zvu
