// Test entry point of the transfer tests. The process ends without DLL
// detach: WinHTTP under Wine closes pooled keep-alive connections on a thread
// of its own, and a run has been seen to hang in the process's shutdown after
// every test had passed.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::fflush(stdout);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
  return result;
}
