#pragma once

#include <windows.h>

#include <string>

namespace zvu {

// Texts of a module's version resource, in its first language.
struct ProgramVersionTexts {
  std::string productVersion;  // "ProductVersion"
  std::string legalCopyright;  // "LegalCopyright"
};

// Reads the version resource of `module`'s file (null: the program). Values
// that are missing, and all values of a file without a version resource or
// without a translation table, are empty.
ProgramVersionTexts ReadProgramVersionTexts(HMODULE module = nullptr);

}  // namespace zvu
