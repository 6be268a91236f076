#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <cstddef>
#include <optional>
#include <vector>

namespace zvu {

// One thread of a snapshot and, when captured, its register context in the
// layout of the platform the program is built for (all zero otherwise).
struct ThreadRecord {
  THREADENTRY32 entry;
  CONTEXT context;
};

// The threads of one process.
class ThreadList {
 public:
  ThreadList() = default;
  virtual ~ThreadList();

  // Replaces the list with the threads of ownerProcessId. With capture,
  // every thread but the calling one is suspended briefly to read its
  // context. False when no snapshot could be taken or it held no thread;
  // the list is then left as it was.
  bool Fill(DWORD ownerProcessId, bool capture);
  size_t Count() const { return records_.size(); }
  std::optional<ThreadRecord> At(size_t index) const;

 private:
  std::vector<ThreadRecord> records_;
};

}  // namespace zvu
