#include "installer_download.h"

#include "ansi_text.h"

#include <shlwapi.h>
#include <winhttp.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace zvu {
namespace {

// Lower case in the ANSI code page, double-byte characters included.
std::string LowerCase(const std::string& text) {
  std::wstring wide = Widen(text);
  if (wide.empty()) return text;
  CharLowerBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return Narrow(wide);
}

bool IsDeviceName(const std::string& name) {
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

DownloadAddress SplitDownloadUrl(const std::string& url) {
  // A NUL would cut the host or the path where the system reads them: the
  // file fetched, its name and how it runs would not be the ones written.
  if (url.find('\0') != std::string::npos) return {};
  const std::wstring wide = Widen(url);
  if (wide.empty()) return {};
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) return {};

  DownloadAddress address;
  if (parts.lpszHostName != nullptr) address.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  // The object runs from the path to the end of the URL, query included.
  const wchar_t* objectStart = parts.lpszUrlPath;
  if (objectStart == nullptr || parts.dwUrlPathLength == 0) objectStart = parts.lpszExtraInfo;
  if (objectStart != nullptr) {
    const wchar_t* end = wide.c_str() + wide.size();
    if (objectStart >= wide.c_str() && objectStart <= end) address.object.assign(objectStart, end);
  }
  return address;
}

std::string DownloadFolder() {
  char temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(MAX_PATH, temp);
  if (length == 0 || length > MAX_PATH) return {};
  if (!PathAppendA(temp, "ZELKO UPDATES")) return {};
  return LowerCase(temp);
}

bool EnsureDownloadFolder(const std::string& folder) {
  if (folder.empty()) return false;
  if (!PathIsDirectoryA(folder.c_str())) CreateDirectoryA(folder.c_str(), nullptr);
  return PathIsDirectoryA(folder.c_str()) != FALSE;
}

std::optional<std::string> InstallerFileName(std::wstring_view object) {
  if (object.find(L'\0') != std::wstring_view::npos) return std::nullopt;
  const std::string narrow = Narrow(object);
  if (narrow.empty()) return std::nullopt;
  const std::string name = PathFindFileNameA(narrow.c_str());
  if (name.empty() || name.size() > 255 || name == "." || name == "..") return std::nullopt;
  for (unsigned char c : name) {
    if (c < 32 || std::strchr("<>:\"/\\|?*", c) != nullptr) return std::nullopt;
  }
  if (name.back() == '.' || name.back() == ' ' || IsDeviceName(name)) return std::nullopt;
  return name;
}

DWORD StartInstallerDownload(XHttpClient& client, HWND notifyWindow, const std::string& url,
                             const std::string& folder, std::string* localFile) {
  const DownloadAddress address = SplitDownloadUrl(url);
  client.SetNotifyWindow(notifyWindow);
  if (const DWORD error = client.Connect(address.host, /*secure=*/false, /*asynchronous=*/true);
      error != 0) {
    return error;
  }
  client.SetObject(address.object);

  const std::optional<std::string> name = InstallerFileName(address.object);
  if (!name) return ERROR_INVALID_NAME;
  if (!EnsureDownloadFolder(folder)) return ERROR_PATH_NOT_FOUND;
  std::string path = folder;
  if (!path.empty() && path.back() != '\\') path += '\\';
  path += *name;

  const DWORD result = client.GetToFile(path);
  if (result == 0 && localFile != nullptr) *localFile = path;
  return result;
}

}  // namespace zvu
