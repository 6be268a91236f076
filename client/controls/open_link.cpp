#include "open_link.h"

#include <shellapi.h>

#include <cstring>

#include "client_texts.h"
#include "program_log.h"
#include "shown_url.h"
#include "unique_handle.h"

namespace zvu {
namespace {

constexpr INT_PTR kShellSuccessAbove = 32;
constexpr UINT kWinExecSuccessAbove = 31;

class SystemLauncher : public LinkLauncher {
 public:
  INT_PTR ShellOpen(HWND owner, const char* file, const char* parameters,
                    int showCommand) const override {
    return reinterpret_cast<INT_PTR>(
        ShellExecuteA(owner, "open", file, parameters, nullptr, showCommand));
  }
  UINT RunCommandLine(const char* commandLine, int showCommand) const override {
    return WinExec(commandLine, static_cast<UINT>(showCommand));
  }
  void TellNotOpened(HWND owner, const char* text, const char* caption) const override {
    MessageBoxA(owner, text, caption, MB_OK | MB_ICONEXCLAMATION);
  }
};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && _strnicmp(text.data(), prefix.data(), prefix.size()) == 0;
}

bool IsWebAddress(std::string_view url) {
  return StartsWith(url, "http://") || StartsWith(url, "https://");
}

// The default value of HKEY_CLASSES_ROOT\key (at most 260 bytes), or empty.
std::string ClassesRootDefault(const std::string& key) {
  UniqueRegKey opened;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, opened.put()) !=
      ERROR_SUCCESS) {
    return {};
  }
  char value[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH;
  DWORD type = 0;
  if (RegQueryValueExA(opened.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value),
                       &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  value[size < sizeof(value) ? size : MAX_PATH] = '\0';
  return value;
}

bool OpenWithWebPageHandler(const std::string& url, int showCommand,
                            const LinkLauncher& launcher) {
  const std::string pageClass = ClassesRootDefault(".htm");
  if (pageClass.empty()) return false;
  const std::string handler = ClassesRootDefault(pageClass + "\\shell\\open\\command");
  if (handler.empty()) return false;
  const std::string command = LinkCommandLine(handler, url);
  return launcher.RunCommandLine(command.c_str(), showCommand) > kWinExecSuccessAbove;
}

}  // namespace

const LinkLauncher& SystemLinkLauncher() {
  static const SystemLauncher launcher;
  return launcher;
}

bool IsOpenableLink(std::string_view url) {
  return IsWebAddress(url) || StartsWith(url, "mailto:");
}

std::string LinkCommandLine(const std::string& handler, const std::string& url) {
  std::string command = handler;
  size_t cut = command.find("\"%1\"");
  if (cut == std::string::npos) cut = command.find("%1");
  if (cut != std::string::npos) command.erase(cut);
  command += " \"";
  command += url;
  command += '"';
  return command;
}

bool OpenLink(HWND owner, const char* caption, const std::string& url, int showCommand,
              const LinkLauncher& launcher) {
  if (!IsOpenableLink(url)) {
    ProgramLog::Printf(client_texts::kLinkRefused, ShownUrl(url).c_str());
    return false;
  }
  if (launcher.ShellOpen(owner, url.c_str(), nullptr, showCommand) > kShellSuccessAbove) {
    return true;
  }
  // The other roads are for web pages. The address may come from a
  // catalogue description: a quote in it would close its quoted argument,
  // and what followed would be arguments of its own.
  if (!IsWebAddress(url)) return false;
  if (url.find('"') == std::string::npos) {
    if (OpenWithWebPageHandler(url, showCommand, launcher)) return true;
    const std::string parameter = "\"" + url + "\"";
    if (launcher.ShellOpen(owner, "iexplore.exe", parameter.c_str(), showCommand) >
        kShellSuccessAbove) {
      return true;
    }
  }
  launcher.TellNotOpened(owner, client_texts::kNoInternetExplorer, caption);
  return false;
}

}  // namespace zvu
