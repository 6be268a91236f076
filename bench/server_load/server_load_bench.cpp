// Runs the service's update check a number of times against the update
// server, as one installation would over that many check intervals, and
// prints how the server answered. The traffic is measured outside, by the
// script (bench/server_load/run.sh).
//
//   server_load_bench.exe <checks> conditional|unconditional

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "check_for_updates.h"
#include "kept_catalogue.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: server_load_bench <checks> conditional|unconditional\n");
    return 2;
  }
  const int checks = std::atoi(argv[1]);
  const bool conditional = std::strcmp(argv[2], "conditional") == 0;
  CoInitialize(nullptr);
  zvu::KeptCatalogue kept;
  int found = 0;
  const ULONGLONG start = GetTickCount64();
  for (int i = 0; i < checks; ++i) {
    std::string updateXml;
    if (zvu::CheckForUpdates(updateXml, nullptr, conditional ? &kept : nullptr) == S_OK) ++found;
  }
  std::printf("%d %d %llu\n", checks, found,
              static_cast<unsigned long long>(GetTickCount64() - start));
  CoUninitialize();
  return 0;
}
