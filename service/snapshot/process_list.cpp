#include "process_list.h"

#include <mbstring.h>
#include <psapi.h>

#include <cstring>
#include <memory>
#include <new>

#include "unique_handle.h"

namespace zvu {
namespace {

constexpr size_t kMaxImagePath = 255;

// Copies at most kMaxImagePath bytes of source, never ending inside a
// double-byte character.
void CopyPathCut(char* target, const char* source) {
  size_t length = std::strlen(source);
  if (length > kMaxImagePath) {
    size_t cut = 0;
    for (size_t i = 0; i < kMaxImagePath;) {
      size_t step = IsDBCSLeadByte(static_cast<BYTE>(source[i])) ? 2 : 1;
      if (i + step > kMaxImagePath) break;
      i += step;
      cut = i;
    }
    length = cut;
  }
  std::memcpy(target, source, length);
  target[length] = '\0';
}

// The path of the first module whose name agrees with the executable's
// file name over that name's length, ignoring case.
bool FindPathInModules(DWORD processId, const char* exeFile, char* path) {
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
  if (!snapshot) return false;
  const size_t nameLength = _mbslen(reinterpret_cast<const unsigned char*>(exeFile));
  MODULEENTRY32 module{};
  module.dwSize = sizeof(module);
  for (BOOL more = Module32First(snapshot.get(), &module); more;
       more = Module32Next(snapshot.get(), &module)) {
    if (_mbsnicmp(reinterpret_cast<const unsigned char*>(module.szModule),
                  reinterpret_cast<const unsigned char*>(exeFile), nameLength) == 0) {
      CopyPathCut(path, module.szExePath);
      return true;
    }
    module.dwSize = sizeof(module);
  }
  return false;
}

void ReadOwner(HANDLE process, ProcessRecord& record) {
  UniqueHandle token;
  if (!OpenProcessToken(process, TOKEN_QUERY | TOKEN_QUERY_SOURCE, token.put())) return;
  DWORD size = 0;
  if (GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER || size < sizeof(TOKEN_USER)) {
    return;
  }
  std::vector<BYTE> buffer(size);
  if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return;
  record.SetOwnerSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

}  // namespace

ProcessRecord::ProcessRecord() : entry_{}, imagePath_{} { entry_.dwSize = sizeof(entry_); }

ProcessRecord::ProcessRecord(const PROCESSENTRY32& entry) : entry_(entry), imagePath_{} {
  entry_.szExeFile[sizeof(entry_.szExeFile) - 1] = '\0';
}

PSID ProcessRecord::OwnerSid() const {
  return ownerSid_.empty() ? nullptr : const_cast<BYTE*>(ownerSid_.data());
}

void ProcessRecord::SetImagePath(const char* path) { CopyPathCut(imagePath_, path); }

void ProcessRecord::SetOwnerSid(PSID sid) {
  ownerSid_.clear();
  if (sid == nullptr || !IsValidSid(sid)) return;
  const DWORD length = GetLengthSid(sid);
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  ownerSid_.assign(bytes, bytes + length);
}

ProcessRecord ReadProcessRecord(const PROCESSENTRY32& entry) {
  ProcessRecord record(entry);
  const DWORD processId = record.ProcessId();
  UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));

  // A module snapshot of id 0 would describe the calling process, not the
  // idle process, so id 0 is not walked.
  char path[256] = {};
  if (processId == 0 || !FindPathInModules(processId, record.ExeFile(), path)) {
    path[0] = '\0';
    if (process) {
      char device[256] = {};
      if (GetProcessImageFileNameA(process.get(), device, static_cast<DWORD>(kMaxImagePath)) > 0) {
        std::memcpy(path, device, sizeof(path));
        path[kMaxImagePath] = '\0';
      }
    }
  }
  record.SetImagePath(path);
  if (process) ReadOwner(process.get(), record);
  return record;
}

ProcessList::ProcessList() { Fill(); }

ProcessList::~ProcessList() = default;

bool ProcessList::Fill() {
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  // The new records replace the old ones only once the walk has succeeded.
  std::vector<ProcessRecord> records;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  if (!Process32First(snapshot.get(), &entry)) return false;
  try {
    do {
      records.push_back(ReadProcessRecord(entry));
      entry.dwSize = sizeof(entry);
    } while (Process32Next(snapshot.get(), &entry));
  } catch (const std::bad_alloc&) {
    return false;
  }
  records_.swap(records);
  return true;
}

std::optional<ProcessRecord> ProcessList::At(size_t index) const {
  if (index >= records_.size()) return std::nullopt;
  return records_[index];
}

}  // namespace zvu
