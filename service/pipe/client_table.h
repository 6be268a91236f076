#pragma once

#include <windows.h>

#include <cstddef>
#include <mutex>
#include <vector>

#include "unique_handle.h"

namespace zvu {

// The registered clients: client process id -> write end of that client's
// catalogue pipe, a handle of this process that the table owns. Filled by
// the registration thread, read and pruned by the main thread; every
// operation takes the table's lock. Entries keep the order of their first
// registration. Copies of entries' handles lent to catalogue writes count as
// the table's too until they are given back, so that no registration can
// name one of them.
class ClientTable {
 public:
  struct Entry {
    DWORD processId;
    HANDLE pipe;
  };

  // The table closes every handle still held when it goes, lent copies included.
  ClientTable() = default;
  ClientTable(const ClientTable&) = delete;
  ClientTable& operator=(const ClientTable&) = delete;

  // Adds the client, or gives a known client its new handle. The handle
  // replaced is closed: the client has handed over a new pipe and nothing
  // else refers to the old one.
  void InsertOrReplace(DWORD processId, HANDLE pipe);
  // True when some entry holds this handle value, or it is a lent copy.
  bool HoldsHandle(HANDLE pipe) const;
  bool Lookup(DWORD processId, HANDLE* pipe) const;
  // Removes the entry and closes its handle, but only while the entry
  // still holds the handle the caller saw (a re-registration in between
  // keeps its new entry). True when removed.
  bool RemoveAndClose(DWORD processId, HANDLE pipe);
  // A private duplicate of the entry's handle, for a write that may outlive
  // the entry; null when the entry no longer holds that handle or the
  // duplication fails. The caller gives it back with ReturnLent.
  HANDLE DuplicateForWrite(DWORD processId, HANDLE pipe);
  // Closes a copy that DuplicateForWrite lent out. Other handles are left alone.
  void ReturnLent(HANDLE copy);

  std::vector<Entry> Entries() const;
  size_t Count() const;

 private:
  struct OwnedEntry {
    DWORD processId;
    UniqueHandle pipe;
  };

  mutable std::mutex mutex_;
  std::vector<OwnedEntry> entries_;
  std::vector<UniqueHandle> lent_;
};

}  // namespace zvu
