#pragma once

#include <windows.h>
#include <msxml2.h>

#include <string>
#include <vector>

#include "catalogue_check.h"

namespace zvu {

// An entry of the "products" or "updates" list as it is written: its
// attributes and its child elements with their text, in document order.
struct WrittenField {
  std::wstring name;
  std::wstring text;
};
struct WrittenEntry {
  std::vector<std::wstring> attributes;
  std::vector<WrittenField> fields;
};

HRESULT ReadWrittenEntry(IXMLDOMNode* entry, WrittenEntry& written);

// Reports the traps of how an entry is written: fields written as
// attributes, unknown or repeated elements, numbers with junk or out of
// range, and text the machine's code page cannot hold.
void CheckWrittenEntry(const WrittenEntry& entry, bool isUpdate, CheckReport& report);

// Reports an update's url that the download cannot use, or uses otherwise
// than it reads.
void CheckInstallerUrl(const std::string& url, CheckReport& report);

// Reports a catalogue text whose bytes the programs would read differently
// from what its writer meant (UTF-8 read in the machine's code page).
void CheckTextEncoding(std::string_view text, CheckReport& report);

}  // namespace zvu
