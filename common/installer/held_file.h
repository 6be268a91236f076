#pragma once

#include <windows.h>

#include <string>

#include "unique_handle.h"

namespace zvu {

// A file kept open for reading while others may only read it as well: as
// long as it is held, nobody can write it, truncate it, rename it, delete it
// or replace it by another file, so what was checked through the handle is
// what a program started from the path finds. Programs that only read it
// (msiexec reading a package, the loader mapping a setup program, a setup
// program reading its response file) can still open it.
class HeldFile {
 public:
  HeldFile() = default;

  // Opens path for reading with read sharing only. On failure nothing is
  // held and OpenError() tells why (ERROR_SHARING_VIOLATION when someone
  // else has it open for writing or deleting).
  static HeldFile Open(const std::string& path);

  bool IsHeld() const { return file_.valid(); }
  HANDLE Handle() const { return file_.get(); }
  const std::string& Path() const { return path_; }
  DWORD OpenError() const { return openError_; }

  // Reads the whole file from its start; false when it cannot be read.
  bool ReadAll(std::string& bytes) const;

  // Ends the hold; others may change the file again.
  void Release() { file_.reset(); }

 private:
  UniqueFileHandle file_;
  std::string path_;
  DWORD openError_ = 0;
};

}  // namespace zvu
