#include "held_file.h"

#include <new>

namespace zvu {

HeldFile HeldFile::Open(const std::string& path) {
  HeldFile held;
  held.path_ = path;
  // Without FILE_SHARE_WRITE no one can open the file for writing, and
  // without FILE_SHARE_DELETE no one can open it with DELETE access, which
  // renaming, deleting and replacing it need.
  held.file_.reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!held.file_) held.openError_ = GetLastError();
  return held;
}

bool HeldFile::ReadAll(std::string& bytes) const {
  bytes.clear();
  if (!IsHeld()) return false;
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN)) return false;
  try {
    char chunk[64 * 1024];
    for (;;) {
      DWORD read = 0;
      if (!ReadFile(file_.get(), chunk, sizeof chunk, &read, nullptr)) return false;
      if (read == 0) return true;
      bytes.append(chunk, read);
    }
  } catch (const std::bad_alloc&) {
    bytes.clear();
    return false;
  }
}

}  // namespace zvu
