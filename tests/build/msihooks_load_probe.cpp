// Loads MsiHooks.dll the way Windows Installer does (LoadLibrary, then
// GetProcAddress of each custom action by its undecorated name) and calls one
// action through a __stdcall pointer, so that a 32-bit build whose calling
// convention or export names are wrong fails here.
//   msihooks_load_probe.exe <MsiHooks.dll>
// Exit code 0 when every action is found and the call returns success.
#include <windows.h>

#include <cstdio>

namespace {

const char* const kActions[] = {
    "CheckMMC",        "CheckPrevVersion", "DeleteAllForUninstall", "DeleteInstallFiles",
    "DeletePrevFiles", "DeletePrevRegEntries", "FilterExists",      "InsertFilter",
    "InstallSnapin",   "InstallStarted",   "KillVuroUpdate",        "RemoveFilter",
    "ReplaceFilterPath", "StartVuroUpdate", "StartW3Progress",      "StartW3SVC",
    "StopW3SVC",       "UnInstallStarted", "UninstallSnapin"};

using CustomAction = UINT(__stdcall*)(ULONG session);

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: msihooks_load_probe <MsiHooks.dll>\n");
    return 2;
  }
  HMODULE dll = LoadLibraryW(argv[1]);
  if (dll == nullptr) {
    std::fprintf(stderr, "LoadLibrary failed: %lu\n", GetLastError());
    return 1;
  }
  int missing = 0;
  for (const char* name : kActions) {
    if (GetProcAddress(dll, name) == nullptr) {
      std::fprintf(stderr, "no export %s\n", name);
      ++missing;
    }
  }
  int result = missing == 0 ? 0 : 1;
  // InstallStarted only writes its banner to the setup log; without an
  // installer session it still reports success.
  auto installStarted = reinterpret_cast<CustomAction>(
      reinterpret_cast<void*>(GetProcAddress(dll, "InstallStarted")));
  if (installStarted != nullptr) {
    UINT answer = installStarted(0);
    if (answer != ERROR_SUCCESS) {
      std::fprintf(stderr, "InstallStarted answered %u\n", answer);
      result = 1;
    }
  }
  FreeLibrary(dll);
  if (result == 0) std::printf("%zu custom actions found, InstallStarted ran\n",
                               sizeof(kActions) / sizeof(kActions[0]));
  return result;
}
