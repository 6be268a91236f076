#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zvu {

// Whether an address found in a description may be opened: only one that
// begins with "http:", "https:" or "mailto:" (in any letter case). The shell
// would run a program for a file: address, a UNC path, a program's path or
// many another scheme, and a catalogue may hold anything.
bool IsOpenableLink(std::string_view url);

// Opens a web or mail address: through the shell's "open" verb, or, when
// that fails, with the command line registered for web pages
// (HKEY_CLASSES_ROOT\.htm's class, "shell\open\command") with the address
// appended. Returns the result of the last call made: the shell's (above 32
// is success) or WinExec's. An address that IsOpenableLink refuses is not
// opened at all: the refusal is logged and SE_ERR_ACCESSDENIED returned. An
// address holding a double quote is never put on a command line; the
// shell's result stands then.
INT_PTR OpenLink(const std::string& url, int showCommand);

// The fallback's command line: handler is the registered command, e.g.
// "\"C:\\browser.exe\" -nohome \"%1\"". It is cut before "\"%1\"", else
// before "%1", and a space and the address in double quotes are appended.
std::string LinkCommandLine(const std::string& handler, const std::string& url);

}  // namespace zvu
