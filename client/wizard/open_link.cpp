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

}  // namespace

bool IsOpenableLink(std::string_view url) {
  for (const std::string_view scheme : {"http:", "https:", "mailto:"}) {
    if (url.size() >= scheme.size() && _strnicmp(url.data(), scheme.data(), scheme.size()) == 0) {
      return true;
    }
  }
  return false;
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

INT_PTR OpenLink(const std::string& url, int showCommand) {
  if (!IsOpenableLink(url)) {
    ProgramLog::Printf(client_texts::kLinkRefused, ShownUrl(url).c_str());
    return SE_ERR_ACCESSDENIED;
  }
  const auto shellResult = reinterpret_cast<INT_PTR>(
      ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, showCommand));
  if (shellResult > kShellSuccessAbove) return shellResult;
  // The address comes from a catalogue description: a quote in it would
  // close its quoted argument, and what followed would be arguments of its own.
  if (url.empty() || url.find('"') != std::string::npos) return shellResult;

  const std::string pageClass = ClassesRootDefault(".htm");
  if (pageClass.empty()) return shellResult;
  const std::string handler = ClassesRootDefault(pageClass + "\\shell\\open\\command");
  if (handler.empty()) return shellResult;
  const std::string command = LinkCommandLine(handler, url);
  return static_cast<INT_PTR>(WinExec(command.c_str(), static_cast<UINT>(showCommand)));
}

}  // namespace zvu
