// Library entry point and the two banner actions.
#include "guarded.h"
#include "hooks_texts.h"
#include "installer_session.h"
#include "msihooks.h"
#include "setup_log.h"

using namespace zvu::hooks;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      DisableThreadLibraryCalls(instance);
      OpenLibraryLog();
      break;
    case DLL_PROCESS_DETACH:
      CloseLibraryLog();
      break;
    default:
      break;
  }
  return TRUE;
}

UINT __stdcall InstallStarted(MSIHANDLE) {
  return Guarded(kActionSuccess, [] {
    Log(texts::kInstallationStarted);
    return kActionSuccess;
  });
}

UINT __stdcall UnInstallStarted(MSIHANDLE) {
  return Guarded(kActionSuccess, [] {
    Log(texts::kUninstallStarted);
    return kActionSuccess;
  });
}
