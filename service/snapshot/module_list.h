#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <cstddef>
#include <optional>
#include <vector>

namespace zvu {

// The modules of one process, as the tool-help snapshot reports them.
class ModuleList {
 public:
  ModuleList() = default;
  virtual ~ModuleList();

  // Replaces the list with the modules of processId; false when no
  // snapshot could be taken (the list is then left as it was).
  bool Fill(DWORD processId);
  size_t Count() const { return records_.size(); }
  std::optional<MODULEENTRY32> At(size_t index) const;

 private:
  std::vector<MODULEENTRY32> records_;
};

}  // namespace zvu
