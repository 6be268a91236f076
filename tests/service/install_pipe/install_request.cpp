// Asks the running update service to install one update and prints the
// status it ends with, as the client log names it.
//
//   zvu_install_request.exe <product> <major.minor.build.subbuild>
#include <cstdio>

#include "service_install_client.h"

int main(int argc, char** argv) {
  zvu::ProductVersion version;
  if (argc != 3 || std::sscanf(argv[2], "%u.%u.%u.%u", &version.major, &version.minor,
                               &version.build, &version.subbuild) != 4) {
    std::fprintf(stderr, "usage: zvu_install_request.exe <product> <a.b.c.d>\n");
    return 2;
  }
  struct : zvu::ServiceInstallCallbacks {} callbacks;
  const zvu::ServiceInstallStatus status = zvu::RequestServiceInstall(argv[1], version, callbacks);
  std::printf("%s\n", zvu::ServiceInstallStatusText(status));
  return 0;
}
