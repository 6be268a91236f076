#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zvu {

// The service's event source in the Application log: the key
// "SYSTEM\CurrentControlSet\Services\EventLog\Application\<source>" below
// HKEY_LOCAL_MACHINE in the program, with "EventMessageFile" (REG_EXPAND_SZ,
// the program that holds the message table) and "TypesSupported" (REG_DWORD,
// error, warning and information). Both functions return ERROR_SUCCESS or a
// Windows error code.

inline constexpr char kApplicationLogKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";

// The key of `source` below `machineRoot`.
std::string EventSourceKeyPath(std::string_view source);

// Creates or updates the source's key with both values.
LONG WriteEventSourceEntry(HKEY machineRoot, std::string_view source, std::string_view messageFile);

// Deletes the source's key; a key that is already gone counts as removed.
LONG RemoveEventSourceEntry(HKEY machineRoot, std::string_view source);

}  // namespace zvu
