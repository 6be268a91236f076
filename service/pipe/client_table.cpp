#include "client_table.h"

#include <algorithm>

namespace zvu {

ClientTable::~ClientTable() {
  for (const Entry& entry : entries_) CloseHandle(entry.pipe);
  for (HANDLE copy : lent_) CloseHandle(copy);
}

void ClientTable::InsertOrReplace(DWORD processId, HANDLE pipe) {
  HANDLE replaced = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [processId](const Entry& e) { return e.processId == processId; });
    if (found == entries_.end()) {
      entries_.push_back({processId, pipe});
      return;
    }
    if (found->pipe != pipe) replaced = found->pipe;
    found->pipe = pipe;
  }
  if (replaced != nullptr) CloseHandle(replaced);
}

bool ClientTable::HoldsHandle(HANDLE pipe) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(entries_.begin(), entries_.end(),
                     [pipe](const Entry& e) { return e.pipe == pipe; }) ||
         std::find(lent_.begin(), lent_.end(), pipe) != lent_.end();
}

bool ClientTable::Lookup(DWORD processId, HANDLE* pipe) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Entry& entry : entries_) {
    if (entry.processId == processId) {
      if (pipe != nullptr) *pipe = entry.pipe;
      return true;
    }
  }
  return false;
}

bool ClientTable::RemoveAndClose(DWORD processId, HANDLE pipe) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
      return e.processId == processId && e.pipe == pipe;
    });
    if (found == entries_.end()) return false;
    entries_.erase(found);
  }
  CloseHandle(pipe);
  return true;
}

HANDLE ClientTable::DuplicateForWrite(DWORD processId, HANDLE pipe) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Entry& entry : entries_) {
    if (entry.processId != processId || entry.pipe != pipe) continue;
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), pipe, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
      return nullptr;
    }
    lent_.push_back(copy);
    return copy;
  }
  return nullptr;
}

void ClientTable::ReturnLent(HANDLE copy) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = std::find(lent_.begin(), lent_.end(), copy);
    if (found == lent_.end()) return;
    lent_.erase(found);
  }
  CloseHandle(copy);
}

std::vector<ClientTable::Entry> ClientTable::Entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

size_t ClientTable::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

}  // namespace zvu
