#include "custom_action_data.h"

namespace zvu::hooks {

DataValue FindCustomActionDataValue(std::wstring_view data, std::wstring_view name) {
  DataValue found;
  std::wstring entry;
  auto finishEntry = [&] {
    const size_t equals = entry.find(L'=');
    if (equals != std::wstring::npos && std::wstring_view(entry).substr(0, equals) == name) {
      if (found.lookup == DataLookup::Found) {
        found.lookup = DataLookup::Ambiguous;
        found.value.clear();
      } else if (found.lookup == DataLookup::Absent) {
        found.lookup = DataLookup::Found;
        found.value = entry.substr(equals + 1);
      }
    }
    entry.clear();
  };
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] != L';') {
      entry.push_back(data[i]);
    } else if (i + 1 < data.size() && data[i + 1] == L';') {
      entry.push_back(L';');
      ++i;
    } else {
      finishEntry();
    }
  }
  finishEntry();
  return found;
}

}  // namespace zvu::hooks
