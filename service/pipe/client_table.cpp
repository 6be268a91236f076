#include "client_table.h"

#include <algorithm>

namespace zvu {

// Handles taken out of the table are closed once its lock is released.

void ClientTable::InsertOrReplace(DWORD processId, HANDLE pipe) {
  UniqueHandle replaced;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [processId](const OwnedEntry& e) { return e.processId == processId; });
    if (found == entries_.end()) {
      entries_.push_back({processId, UniqueHandle(pipe)});
      return;
    }
    if (found->pipe.get() != pipe) {
      replaced = std::move(found->pipe);
      found->pipe.reset(pipe);
    }
  }
}

bool ClientTable::HoldsHandle(HANDLE pipe) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(entries_.begin(), entries_.end(),
                     [pipe](const OwnedEntry& e) { return e.pipe.get() == pipe; }) ||
         std::any_of(lent_.begin(), lent_.end(),
                     [pipe](const UniqueHandle& copy) { return copy.get() == pipe; });
}

bool ClientTable::Lookup(DWORD processId, HANDLE* pipe) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const OwnedEntry& entry : entries_) {
    if (entry.processId == processId) {
      if (pipe != nullptr) *pipe = entry.pipe.get();
      return true;
    }
  }
  return false;
}

bool ClientTable::RemoveAndClose(DWORD processId, HANDLE pipe) {
  UniqueHandle removed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = std::find_if(entries_.begin(), entries_.end(), [&](const OwnedEntry& e) {
      return e.processId == processId && e.pipe.get() == pipe;
    });
    if (found == entries_.end()) return false;
    removed = std::move(found->pipe);
    entries_.erase(found);
  }
  return true;
}

HANDLE ClientTable::DuplicateForWrite(DWORD processId, HANDLE pipe) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const OwnedEntry& entry : entries_) {
    if (entry.processId != processId || entry.pipe.get() != pipe) continue;
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), pipe, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
      return nullptr;
    }
    lent_.emplace_back(copy);
    return copy;
  }
  return nullptr;
}

void ClientTable::ReturnLent(HANDLE copy) {
  UniqueHandle returned;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = std::find_if(lent_.begin(), lent_.end(),
                              [copy](const UniqueHandle& lent) { return lent.get() == copy; });
    if (found == lent_.end()) return;
    returned = std::move(*found);
    lent_.erase(found);
  }
}

std::vector<ClientTable::Entry> ClientTable::Entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Entry> entries;
  entries.reserve(entries_.size());
  for (const OwnedEntry& entry : entries_) entries.push_back({entry.processId, entry.pipe.get()});
  return entries;
}

size_t ClientTable::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

}  // namespace zvu
