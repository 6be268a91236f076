#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "installed_argument.h"

namespace zvu {

// What the check of a catalogue found: the text to print, and how many
// warnings and errors it holds.
class CheckReport {
 public:
  void Line(const std::string& text);     // a line of its own
  void Note(const std::string& text);     // "  note: ..."
  void Warning(const std::string& text);  // "  warning: ..."
  void Error(const std::string& text);    // "  error: ..."

  const std::string& Output() const { return output_; }
  int Warnings() const { return warnings_; }
  int Errors() const { return errors_; }
  // 0 clean, 1 warnings only, 2 errors.
  int ExitStatus() const { return errors_ > 0 ? 2 : (warnings_ > 0 ? 1 : 0); }

 private:
  std::string output_;
  int warnings_ = 0;
  int errors_ = 0;
};

// Checks a catalogue text (the bytes the update server would send) with the
// programs' own parser: lists each update with the installed versions it
// would be offered to, and why not to the others, and warns about what
// would make it fail silently on the machines. `installed` are the installed
// products to judge the updates against.
CheckReport CheckCatalogue(std::string_view text, const std::vector<InstalledProduct>& installed);

}  // namespace zvu
