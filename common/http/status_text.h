#pragma once

#include <windows.h>

#include <string>

namespace zvu {

// The transfer-log text for one WinHTTP status notification, composed from
// the status code and its status information. Missing or short status
// information reads as zero (or an empty URL); it never reads past length.
std::string DescribeStatus(DWORD status, const void* info, DWORD length);

}  // namespace zvu
