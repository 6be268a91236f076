#pragma once

#include <windows.h>

#include <string>

namespace zvu {

// Opens a web address: through the shell's "open" verb, or, when that fails,
// with the command line registered for web pages (HKEY_CLASSES_ROOT\.htm's
// class, "shell\open\command") with the address appended. Returns the
// result of the last call made: the shell's (above 32 is success) or
// WinExec's. An address holding a double quote is never put on a command
// line; the shell's result stands then.
INT_PTR OpenLink(const std::string& url, int showCommand);

// The fallback's command line: handler is the registered command, e.g.
// "\"C:\\browser.exe\" -nohome \"%1\"". It is cut before "\"%1\"", else
// before "%1", and a space and the address are appended.
std::string LinkCommandLine(const std::string& handler, const std::string& url);

}  // namespace zvu
