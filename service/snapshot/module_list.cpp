#include "module_list.h"

#include "unique_handle.h"

namespace zvu {

ModuleList::~ModuleList() = default;

bool ModuleList::Fill(DWORD processId) {
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
  if (!snapshot) return false;
  records_.clear();
  MODULEENTRY32 module{};
  module.dwSize = sizeof(module);
  for (BOOL more = Module32First(snapshot.get(), &module); more;
       more = Module32Next(snapshot.get(), &module)) {
    records_.push_back(module);
    module.dwSize = sizeof(module);
  }
  return true;
}

std::optional<MODULEENTRY32> ModuleList::At(size_t index) const {
  if (index >= records_.size()) return std::nullopt;
  return records_[index];
}

}  // namespace zvu
