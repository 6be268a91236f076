#include "install_log_files.h"

#include <algorithm>
#include <new>
#include <vector>

#include "format_text.h"
#include "unique_handle.h"

namespace zvu {
namespace {

// Whether a (long) file name ends in ".log", in any case.
bool IsLogName(const std::string& name) {
  static constexpr char kSuffix[] = ".log";
  constexpr size_t kLength = sizeof kSuffix - 1;
  if (name.size() < kLength) return false;
  for (size_t i = 0; i < kLength; ++i) {
    const char c = name[name.size() - kLength + i];
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != kSuffix[i]) return false;
  }
  return true;
}

}  // namespace

std::string InstallLogName(const SYSTEMTIME& utc, const std::string& installerFileName) {
  std::string name = FormatText("%04u%02u%02u-%02u%02u%02u-", utc.wYear, utc.wMonth, utc.wDay,
                                utc.wHour, utc.wMinute, utc.wSecond) +
                     installerFileName + ".log";
  std::replace(name.begin(), name.end(), ' ', '_');
  return name;
}

DWORD CreateInstallLog(const std::string& folder, const std::string& name,
                       std::string& shortPath) {
  shortPath.clear();
  const std::string path = folder + '\\' + name;
  {
    UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
  }
  char shortName[MAX_PATH] = {};
  const DWORD length = GetShortPathNameA(path.c_str(), shortName, sizeof shortName);
  if (length == 0) return GetLastError();
  if (length >= sizeof shortName) return ERROR_FILENAME_EXCED_RANGE;
  shortPath.assign(shortName, length);
  return 0;
}

void PruneInstallLogs(const std::string& folder, size_t kept) {
  struct Log {
    FILETIME written;
    std::string name;
  };
  try {
    std::vector<Log> logs;
    WIN32_FIND_DATAA found{};
    const UniqueFindHandle search(FindFirstFileA((folder + "\\*.log").c_str(), &found));
    if (!search) return;
    do {
      // The pattern matches short names too: "notes.logbook" is NOTES~1.LOG.
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsLogName(found.cFileName)) {
        logs.push_back({found.ftLastWriteTime, found.cFileName});
      }
    } while (FindNextFileA(search.get(), &found));
    if (logs.size() <= kept) return;
    // Newest first; among equal times the later name (a later start).
    std::sort(logs.begin(), logs.end(), [](const Log& a, const Log& b) {
      const LONG order = CompareFileTime(&a.written, &b.written);
      return order != 0 ? order > 0 : a.name > b.name;
    });
    for (size_t i = kept; i < logs.size(); ++i) {
      DeleteFileA((folder + '\\' + logs[i].name).c_str());
    }
  } catch (const std::bad_alloc&) {
    // The next run prunes again.
  }
}

}  // namespace zvu
