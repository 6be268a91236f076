#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "http_state.h"

namespace zvu {

// What the download page shows for one state of an installer download.
// An empty member means: leave that control as it is.
struct DownloadProgress {
  std::optional<int> barPosition;  // 0 to 100
  std::optional<std::string> statusText;
};

// received * 100 / total, 0 for an unknown total, at most 100; exact for any
// total below 2^57 bytes.
int DownloadPercent(std::uint64_t received, std::uint64_t total);

DownloadProgress DescribeDownloadProgress(HttpState state, std::uint64_t receivedBytes,
                                          std::uint64_t contentLength,
                                          const std::string& productName);

}  // namespace zvu
