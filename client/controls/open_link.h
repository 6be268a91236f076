#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zvu {

// What opening a link asks of the system. The client uses
// SystemLinkLauncher(); a test gives one that answers as it needs.
class LinkLauncher {
 public:
  virtual ~LinkLauncher() = default;
  // ShellExecuteA(owner, "open", file, parameters, no folder, show): its
  // result, above 32 for success.
  virtual INT_PTR ShellOpen(HWND owner, const char* file, const char* parameters,
                            int showCommand) const = 0;
  // WinExec(commandLine, show): its result, above 31 for success.
  virtual UINT RunCommandLine(const char* commandLine, int showCommand) const = 0;
  // The box that tells the user the link could not be opened.
  virtual void TellNotOpened(HWND owner, const char* text, const char* caption) const = 0;
};

// The launcher of the running program: the shell, WinExec and a message box.
const LinkLauncher& SystemLinkLauncher();

// Whether an address may be opened: only one that begins with "http://",
// "https://" or "mailto:" (in any letter case). The shell would run a
// program for a file: address, a UNC path, a program's path or many another
// scheme, and an address from a catalogue may hold anything.
bool IsOpenableLink(std::string_view url);

// Opens a web or mail address for the user; the one way the client opens a
// link (the About box's and those in update descriptions):
//   1. the shell's "open" of the address itself (the default browser, or
//      the mail program);
//   2. for a web address: the command line registered for web pages
//      (HKEY_CLASSES_ROOT\.htm's class, "shell\open\command") with the
//      address appended;
//   3. for a web address: "iexplore.exe" with the address as its parameter.
// When none of them opens a web address, "Cannot find Internet Explorer."
// is shown over owner with the given caption; a mail address that the shell
// cannot open shows nothing. Either way false is returned. An address that
// IsOpenableLink refuses is not opened at all and nothing is shown: the
// refusal is logged and false returned. An address holding a double quote
// is never put on a command line or in a parameter.
bool OpenLink(HWND owner, const char* caption, const std::string& url, int showCommand,
              const LinkLauncher& launcher = SystemLinkLauncher());

// The registered handler's command line: handler is the registered command,
// e.g. "\"C:\\browser.exe\" -nohome \"%1\"". It is cut before "\"%1\"",
// else before "%1", and a space and the address in double quotes are
// appended.
std::string LinkCommandLine(const std::string& handler, const std::string& url);

}  // namespace zvu
