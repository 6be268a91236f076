#include <windows.h>

#include "client_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  zvu::ClientApp application;
  return application.Run();
}
