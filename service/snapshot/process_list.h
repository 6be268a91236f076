#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <cstddef>
#include <optional>
#include <vector>

namespace zvu {

// One process of a snapshot: the tool-help record as returned, the SID of
// the user owning the process token (a copy; null when it could not be
// read) and the full path of the executable (at most 255 characters; empty
// when it could not be read). Copies carry their own SID copy.
class ProcessRecord {
 public:
  ProcessRecord();
  explicit ProcessRecord(const PROCESSENTRY32& entry);

  const PROCESSENTRY32& Entry() const { return entry_; }
  DWORD ProcessId() const { return entry_.th32ProcessID; }
  // The executable's file name without folder, as the snapshot reports it.
  const char* ExeFile() const { return entry_.szExeFile; }
  const char* ImagePath() const { return imagePath_; }
  // Null when the owner is unknown; valid as long as the record lives.
  PSID OwnerSid() const;

  void SetImagePath(const char* path);
  // Copies the SID; an invalid SID leaves the owner unknown.
  void SetOwnerSid(PSID sid);

 private:
  PROCESSENTRY32 entry_;
  std::vector<BYTE> ownerSid_;
  char imagePath_[256];
};

// Builds the record of one snapshot entry: opens the process to find its
// image path and owner. Entries that cannot be opened still give a record.
ProcessRecord ReadProcessRecord(const PROCESSENTRY32& entry);

// All processes of the system in snapshot order, taken at construction.
class ProcessList {
 public:
  ProcessList();
  virtual ~ProcessList();

  // Takes a new snapshot. On failure returns false and leaves the list as it was.
  bool Fill();
  size_t Count() const { return records_.size(); }
  // A copy of record index, or nothing when index is out of range.
  std::optional<ProcessRecord> At(size_t index) const;

 private:
  std::vector<ProcessRecord> records_;
};

}  // namespace zvu
