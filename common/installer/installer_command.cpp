#include "installer_command.h"

#include <windows.h>

#include "ansi_text.h"

namespace zvu {
namespace {

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  const std::string_view tail = text.substr(text.size() - suffix.size());
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = tail[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

// A log path placed inside the setup program's /v"..." argument: quotes
// there have to be escaped so that they reach the embedded msiexec.
std::string QuoteSpacesInsideQuotes(const std::string& path) {
  if (path.find(' ') == std::string::npos) return path;
  return "\\\"" + path + "\\\"";
}

}  // namespace

std::string QuoteSpaces(const std::string& path) {
  if (path.find(' ') == std::string::npos) return path;
  return '"' + path + '"';
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string result;
  size_t start = 0;
  for (size_t found = text.find(from); found != std::string_view::npos;
       found = text.find(from, start)) {
    result.append(text.substr(start, found - start));
    result.append(to);
    start = found + from.size();
  }
  result.append(text.substr(start));
  return result;
}

bool IsWindowsInstallerPackage(std::string_view installerPath) {
  return EndsWithIgnoringCase(TrimTrailingWhiteSpace(installerPath), ".msi");
}

std::string AdaptForInstallerVersion(std::string commandLine, int installerMajorVersion) {
  if (installerMajorVersion >= 3) return commandLine;
  return ReplaceAll(ReplaceAll(commandLine, "/log", "/l*"), "/norestart", "");
}

InstallerCommand BuildInstallerCommand(const InstallerCommandRequest& request) {
  InstallerCommand command;
  const std::string installerPath = TrimTrailingWhiteSpace(request.installerPath);
  if (installerPath.empty()) {
    command.error = InstallerCommandError::kEmptyInstallerPath;
    return command;
  }
  if (installerPath.size() >= MAX_PATH) {
    command.error = InstallerCommandError::kInstallerPathTooLong;
    return command;
  }
  command.isPackage = IsWindowsInstallerPackage(installerPath);

  const std::string installer = QuoteSpaces(installerPath);
  const std::string log = QuoteSpaces(request.logPath);
  std::string line;
  if (!request.options.empty()) {
    const std::string options = ReplaceAll(request.options, kLogFilePlaceholder, log);
    command.runsMsiexec = command.isPackage;
    line = command.isPackage ? "msiexec /i " + installer + ' ' + options
                             : installer + ' ' + options;
  } else if (!request.issfile.empty()) {
    command.responseFilePath = request.folder + "\\setup.iss";
    // Both paths already sit inside quotes of their own here.
    line = installer + " /s /f1\"" + command.responseFilePath + "\" /f2\"" + request.logPath + '"';
  } else if (command.isPackage) {
    command.runsMsiexec = true;
    line = "msiexec /i " + installer + " /qn /norestart /log " + log + ' ';
  } else {
    line = installer + " /s /sms /v\"/qn /norestart /log " +
           QuoteSpacesInsideQuotes(request.logPath) + " \"";
  }
  command.commandLine = AdaptForInstallerVersion(std::move(line), request.installerMajorVersion);
  const std::string first = command.runsMsiexec ? std::string("msiexec ") : installer + ' ';
  if (command.commandLine.compare(0, first.size(), first) == 0) {
    if (!command.runsMsiexec) command.program = installerPath;
    command.arguments = command.commandLine.substr(first.size());
  }
  return command;
}

std::string SystemMsiexecPath() {
  char folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::string(folder, length) + "\\msiexec.exe";
}

}  // namespace zvu
