#include <windows.h>

#include "host_command_line.h"
#include "service_install.h"
#include "service_update_work.h"
#include "update_service.h"

namespace {

// The program's one service object exists before main runs and until the end.
zvu::ServiceUpdateWork g_updateWork(&zvu::InstallVerifiedUpdate);
zvu::UpdateService g_updateService(g_updateWork);

}  // namespace

int main() { return g_updateService.Main(zvu::CommandLineArguments(GetCommandLineA())); }
