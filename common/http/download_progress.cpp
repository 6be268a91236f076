#include "download_progress.h"

#include <algorithm>
#include <cstdint>

#include "common_texts.h"

namespace zvu {

int DownloadPercent(std::uint64_t received, std::uint64_t total) {
  if (total == 0) return 0;
  if (received >= total) return 100;
  constexpr std::uint64_t kSafe = UINT64_MAX / 100;
  if (received <= kSafe) return static_cast<int>(received * 100 / total);
  // Only for totals beyond 2^57 bytes: close enough, and below 100 as received < total.
  return static_cast<int>(std::min<std::uint64_t>(received / (total / 100), 99));
}

DownloadProgress DescribeDownloadProgress(HttpState state, std::uint64_t receivedBytes,
                                          std::uint64_t contentLength,
                                          const std::string& productName) {
  switch (state) {
    case HttpState::Idle:
      return {5, common_texts::kDownloadingHead + productName +
                     common_texts::kDownloadingConnecting};
    case HttpState::Failed:
      return {std::nullopt,
              common_texts::kDownloadFailedHead + productName + common_texts::kDownloadFailedTail};
    case HttpState::Reading:
    case HttpState::Storing: {
      return {DownloadPercent(receivedBytes, contentLength),
              common_texts::kDownloadingHead + productName + common_texts::kDownloadingAmount +
                  std::to_string(receivedBytes >> 10) + common_texts::kDownloadedKbOf +
                  std::to_string(contentLength >> 10) + common_texts::kDownloadedKbTail};
    }
    case HttpState::Complete:
      return {100, common_texts::kDownloadingHead + productName +
                       common_texts::kDownloadingComplete};
    default:
      return {};
  }
}

}  // namespace zvu
