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

DownloadProgress DescribeDownloadProgress(HttpState state, std::uint64_t receivedBytes,
                                          std::uint64_t contentLength,
                                          const std::string& productName);

}  // namespace zvu
