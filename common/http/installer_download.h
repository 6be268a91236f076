#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "http_client.h"

namespace zvu {

// Where an installer's url points: the host, and everything from the start
// of the URL path to the end of the URL (path and query). Scheme, port and
// credentials written in the url are not used: installers are always fetched
// over plain HTTP from port 80.
struct DownloadAddress {
  std::wstring host;
  std::wstring object;
};

// Splits an update's url (ANSI code page). A text that is not a URL, or one
// holding a NUL, gives an empty host and object, so the following Connect fails.
DownloadAddress SplitDownloadUrl(const std::string& url);

// The user's temporary folder joined with "ZELKO UPDATES", all lower case
// (e.g. c:\temp\zelko updates). Empty when the temporary folder is unknown.
std::string DownloadFolder();

// Creates the folder (one level) unless it exists. False when it is missing
// afterwards.
bool EnsureDownloadFolder(const std::string& folder);

// The local file name of a download: the last segment of the object, any
// query text included. Empty when that is no usable file name (empty, ".",
// "..", a device name, characters Windows forbids, a trailing dot or space,
// longer than 255).
std::optional<std::string> InstallerFileName(std::wstring_view object);

// Starts the download of an installer into folder (created when missing):
// makes notifyWindow the client's notify window, connects to the url's host
// (plain HTTP, asynchronous), and writes the body to folder\<file name>.
// Returns 0 when the request was sent and sets *localFile; otherwise the
// error of the step that failed: the client's Connect/GetToFile result,
// ERROR_INVALID_NAME for an unusable file name, ERROR_PATH_NOT_FOUND when the
// folder cannot be created.
DWORD StartInstallerDownload(XHttpClient& client, HWND notifyWindow, const std::string& url,
                             const std::string& folder, std::string* localFile);

}  // namespace zvu
