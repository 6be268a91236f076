// Measures UpdateCatalogue::ParseCatalogue on a generated catalogue of 10,000
// updates, or as many as the first argument says (and 100 offered products). Creates a few product keys below
// HKLM\Software\Zelko\ for the run ("Zvu Bench 0" to "Zvu Bench 4") and
// removes them at the end, so run it in a throw-away Wine prefix:
//
//   scripts/isolated-env.sh wine build/bench/catalogue/catalogue_bench.exe [UPDATES]

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "product_registry.h"
#include "update_catalogue.h"

namespace {

constexpr int kInstalledProducts = 5;
int g_updates = 10000;
constexpr int kOfferedProducts = 100;
constexpr int kRuns = 5;

std::string ProductName(int index) { return "Zvu Bench " + std::to_string(index); }

bool CreateProductKeys() {
  for (int i = 0; i < kInstalledProducts; ++i) {
    HKEY key = nullptr;
    const std::string path = std::string(zvu::kProductsKey) + ProductName(i);
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const DWORD values[] = {2, 3, 10, 0};
    const char* names[] = {"Major", "Minor", "build", "subbuild"};
    for (int v = 0; v < 4; ++v) {
      RegSetValueExA(key, names[v], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&values[v]),
                     sizeof(DWORD));
    }
    RegCloseKey(key);
  }
  return true;
}

void RemoveProductKeys() {
  for (int i = 0; i < kInstalledProducts; ++i) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(zvu::kProductsKey) + ProductName(i)).c_str());
  }
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Zelko");  // only if nothing else is in it
}

std::string GenerateCatalogue() {
  std::string text = "<?xml version=\"1.0\"?>\r\n<catalogue>\r\n<products>\r\n";
  for (int i = 0; i < kOfferedProducts; ++i) {
    text += "<product><product>" + ProductName(i) + "</product><description>Product " +
            std::to_string(i) + " of the maker</description><major>3</major><minor>0</minor>"
            "<build>0</build><subbuild>0</subbuild><size>1048576</size></product>\r\n";
  }
  text += "</products>\r\n<updates>\r\n";
  for (int i = 0; i < g_updates; ++i) {
    // Every other update is for a product that is not installed.
    const std::string name = ProductName(i % 2 ? i % kInstalledProducts : 1000 + i);
    text += "<update><product>" + name + "</product><description>Update " + std::to_string(i) +
            " \xE9\xE8 with fixes</description><major>2</major><minor>3</minor><build>" +
            std::to_string(i) + "</build><subbuild>0</subbuild><url>http://" +
            "downloads.zelko.example/files/update" + std::to_string(i) +
            ".msi</url><options>/qn</options><size>2097152</size></update>\r\n";
  }
  text += "</updates>\r\n</catalogue>\r\n";
  return text;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to,
                    const LARGE_INTEGER& frequency) {
  return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 /
         static_cast<double>(frequency.QuadPart);
}

void PrintMemory(const char* when) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) {
    std::printf("%-22s memory information not available\n", when);
    return;
  }
  std::printf("%-22s peak working set %8.1f MiB, peak pagefile usage %8.1f MiB\n", when,
              static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0),
              static_cast<double>(counters.PeakPagefileUsage) / (1024.0 * 1024.0));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_updates = std::atoi(argv[1]);
  if (g_updates < 2) {
    std::fprintf(stderr, "usage: catalogue_bench [UPDATES >= 2]\n");
    return 2;
  }
  if (!CreateProductKeys()) {
    std::fprintf(stderr, "cannot create the product keys below HKLM\\%s\n", zvu::kProductsKey);
    RemoveProductKeys();
    return 1;
  }

  const std::string text = GenerateCatalogue();
  std::printf("catalogue: %d updates, %d offered products, %zu bytes\n", g_updates,
              kOfferedProducts, text.size());
  PrintMemory("before parsing:");

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> times;
  bool allParsed = true;
  size_t updatesKept = 0;
  for (int run = 0; run < kRuns; ++run) {
    zvu::UpdateCatalogue catalogue;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    allParsed = catalogue.ParseCatalogue(text) && allParsed;
    QueryPerformanceCounter(&end);
    times.push_back(Milliseconds(start, end, frequency));
    updatesKept = catalogue.ApplicableUpdates().size();
  }
  PrintMemory("after parsing:");
  RemoveProductKeys();

  std::printf("parsed: %s, updates kept: %zu\n", allParsed ? "yes" : "NO", updatesKept);
  std::printf("first run (loads MSXML): %.1f ms\n", times.front());
  std::vector<double> later(times.begin() + 1, times.end());
  std::sort(later.begin(), later.end());
  std::printf("later runs: median %.1f ms, min %.1f ms, max %.1f ms\n", later[later.size() / 2],
              later.front(), later.back());
  return allParsed ? 0 : 1;
}
