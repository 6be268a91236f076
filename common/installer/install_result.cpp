#include "install_result.h"

#include <new>
#include <string>

#include "ansi_text.h"
#include "unique_handle.h"

namespace zvu {
namespace {

constexpr std::string_view kSetupSuccess = "ResultCode=0";
constexpr std::u16string_view kInstallSucceeded = u"Installation completed successfully";
constexpr std::u16string_view kConfigurationSucceeded = u"Configuration completed successfully";

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Unquote(const std::string& path) {
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
    return path.substr(1, path.size() - 2);
  }
  return path;
}

// The whole file, or false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& contents) {
  UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  contents.clear();
  char chunk[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) return false;
    if (got == 0) return true;
    contents.append(chunk, got);
  }
}

}  // namespace

bool SetupResultReportsSuccess(std::string_view text, UINT codePage) {
  for (size_t pos = FindInAnsiText(text, kSetupSuccess, 0, codePage);
       pos != std::string_view::npos;
       pos = FindInAnsiText(text, kSetupSuccess, pos + 1, codePage)) {
    const size_t end = pos + kSetupSuccess.size();
    if (end == text.size() || IsWhiteSpace(text[end])) return true;
  }
  return false;
}

bool InstallerLogReportsSuccess(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  std::u16string_view view(text);
  if (!view.empty() && view.front() == u'\xFEFF') view.remove_prefix(1);
  return view.find(kInstallSucceeded) != std::u16string_view::npos ||
         view.find(kConfigurationSucceeded) != std::u16string_view::npos;
}

int ReadInstallResultFile(const std::string& logPath, bool setupResultFile, bool& success) {
  success = false;
  std::string contents;
  try {
    if (!ReadWholeFile(Unquote(logPath), contents)) return -1;
    success = setupResultFile ? SetupResultReportsSuccess(contents)
                              : InstallerLogReportsSuccess(contents);
  } catch (const std::bad_alloc&) {
    // A log too large to hold in memory counts as unreadable.
    success = false;
    return -1;
  }
  return 0;
}

}  // namespace zvu
