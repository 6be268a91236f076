#pragma once

#include <string>
#include <string_view>

namespace zvu::hooks {

// The text a deferred action gets from the engine in its "CustomActionData"
// property: "Name=value" entries separated by ";", for example
// "SystemFolder=C:\Windows\System32\;TARGETDIR=C:\Program Files\IISQuillet\".
//  - The name is everything before the entry's first "="; the value is all
//    after it and may itself hold "=".
//  - ";;" stands for one ";" inside a value (a folder whose name holds a
//    semicolon); a single ";" ends the entry.
//  - Names are compared exactly, as property names are. Entries without "="
//    and entries with other names are ignored.
//  - A name given twice is ambiguous: neither value is used.
enum class DataLookup { Found, Absent, Ambiguous };

struct DataValue {
  DataLookup lookup = DataLookup::Absent;
  std::wstring value;  // set when found
};

DataValue FindCustomActionDataValue(std::wstring_view data, std::wstring_view name);

}  // namespace zvu::hooks
