#pragma once

#include <string_view>

namespace zvu {

// What one run of the service program does, as chosen by its command line.
enum class HostCommand {
  Start,        // no switch: run as a service or in the foreground
  RegServer,    // write the AppID entries; no service stays installed
  Service,      // write the AppID entries for a service and install it
  UnregServer,  // uninstall the service and remove the AppID entries
};

// The arguments of a full command line as GetCommandLine returns it: the
// program name (quoted or up to the first blank) and the blanks after it are
// skipped, so that a folder name such as "C:\-Service\" cannot act as a switch.
std::string_view CommandLineArguments(std::string_view fullCommandLine);

// Picks the command from the arguments. A switch is "-" or "/" followed by a
// word, compared without regard to case, that ends at a space, a tab or the end
// of the text. A first pass looks for "UnregServer" or "RegServer" and the first
// match decides; only when there is none does a second pass look for "Service".
// Anything else is ignored.
HostCommand ParseHostCommand(std::string_view arguments);

}  // namespace zvu
