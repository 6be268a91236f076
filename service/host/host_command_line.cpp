#include "host_command_line.h"

#include <cstddef>

namespace zvu {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// True when text at position `at` holds `word` (any case) followed by a blank
// or the end of the text.
bool IsWordAt(std::string_view text, size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (LowerAscii(text[at + i]) != LowerAscii(word[i])) return false;
  }
  const size_t end = at + word.size();
  return end == text.size() || IsBlank(text[end]);
}

bool IsSwitchMark(char c) { return c == '-' || c == '/'; }

}  // namespace

std::string_view CommandLineArguments(std::string_view fullCommandLine) {
  size_t pos = 0;
  if (!fullCommandLine.empty() && fullCommandLine[0] == '"') {
    const size_t closing = fullCommandLine.find('"', 1);
    pos = closing == std::string_view::npos ? fullCommandLine.size() : closing + 1;
  }
  while (pos < fullCommandLine.size() && !IsBlank(fullCommandLine[pos])) ++pos;
  while (pos < fullCommandLine.size() && IsBlank(fullCommandLine[pos])) ++pos;
  return fullCommandLine.substr(pos);
}

HostCommand ParseHostCommand(std::string_view arguments) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (!IsSwitchMark(arguments[i])) continue;
    if (IsWordAt(arguments, i + 1, "UnregServer")) return HostCommand::UnregServer;
    if (IsWordAt(arguments, i + 1, "RegServer")) return HostCommand::RegServer;
  }
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (IsSwitchMark(arguments[i]) && IsWordAt(arguments, i + 1, "Service")) {
      return HostCommand::Service;
    }
  }
  return HostCommand::Start;
}

}  // namespace zvu
