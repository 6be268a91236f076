#include "thread_list.h"

#include <cstring>

#include "unique_handle.h"

namespace zvu {
namespace {

// Reads the context only while the thread is held: a running thread's
// registers would be a meaningless mix.
void CaptureContext(DWORD threadId, CONTEXT& context) {
  UniqueHandle thread(OpenThread(
      THREAD_QUERY_INFORMATION | THREAD_GET_CONTEXT | THREAD_SUSPEND_RESUME, FALSE, threadId));
  if (!thread) return;
  if (SuspendThread(thread.get()) == static_cast<DWORD>(-1)) return;
  CONTEXT captured{};
  captured.ContextFlags = CONTEXT_FULL;
  if (GetThreadContext(thread.get(), &captured)) context = captured;
  ResumeThread(thread.get());
}

}  // namespace

ThreadList::~ThreadList() = default;

bool ThreadList::Fill(DWORD ownerProcessId, bool capture) {
  const DWORD callingThread = GetCurrentThreadId();
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return false;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  if (!Thread32First(snapshot.get(), &entry)) return false;
  records_.clear();
  do {
    if (entry.th32OwnerProcessID == ownerProcessId) {
      ThreadRecord record;
      std::memset(&record, 0, sizeof(record));
      record.entry = entry;
      if (capture && entry.th32ThreadID != callingThread) {
        CaptureContext(entry.th32ThreadID, record.context);
      }
      records_.push_back(record);
    }
    entry.dwSize = sizeof(entry);
  } while (Thread32Next(snapshot.get(), &entry));
  return true;
}

std::optional<ThreadRecord> ThreadList::At(size_t index) const {
  if (index >= records_.size()) return std::nullopt;
  return records_[index];
}

}  // namespace zvu
