#pragma once

#include <windows.h>

#include <string_view>

namespace zvu {

inline constexpr char kServiceAppId[] = "{CA3EC9AC-25E4-4AB4-83E0-C7E6CDADFE6B}";
inline constexpr char kLocalServiceValue[] = "LocalService";
inline constexpr int kRegistryScriptResourceId = 101;

// The service's AppID entries below a classes root (HKEY_CLASSES_ROOT in the
// program): "AppID\{AppID}" and "AppID\ZelkoVuroUpdate.EXE", described by the
// registry script `scriptText` with "%APPID%" standing for the AppID, and the
// value "LocalService" that marks the program as a service. All functions
// return ERROR_SUCCESS or a Windows error code.

// Writes the script's entries, then deletes "LocalService" from the AppID key.
// A script that does not parse gives ERROR_INVALID_DATA.
LONG WriteAppIdEntries(HKEY classesRoot, std::string_view scriptText);

// Writes "LocalService" = serviceName into the AppID key (creating it if needed).
LONG WriteLocalServiceValue(HKEY classesRoot, std::string_view serviceName);

// Deletes "LocalService", then removes the script's entries; "AppID" itself
// stays. Entries that are already gone count as removed.
LONG RemoveAppIdEntries(HKEY classesRoot, std::string_view scriptText);

// Reads whether "LocalService" is present. Fails with the error of opening
// "AppID" or the AppID key; a missing or unreadable value gives
// ERROR_SUCCESS and localService = false.
LONG ReadLocalServiceFlag(HKEY classesRoot, bool& localService);

}  // namespace zvu
