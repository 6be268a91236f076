#pragma once

#include <windows.h>

#include <vector>

namespace zvu::test {

// Records the process ids that the code linked into this test program passes
// to OpenProcess, while the object lives. It replaces this program's import of
// OpenProcess, so every direct call of the product code is seen (and still
// carried out); opens made inside system libraries on their own behalf are
// not. One recorder at a time.
class ProcessOpenRecorder {
 public:
  ProcessOpenRecorder();
  ~ProcessOpenRecorder();
  ProcessOpenRecorder(const ProcessOpenRecorder&) = delete;
  ProcessOpenRecorder& operator=(const ProcessOpenRecorder&) = delete;

  // Whether the import was found and replaced.
  bool Installed() const { return !slots_.empty(); }
  // The ids opened so far, in call order.
  std::vector<DWORD> Opened() const;

 private:
  std::vector<void**> slots_;
};

}  // namespace zvu::test
