#pragma once

#include "application.h"

namespace zvu {

// The application object of ZelkoVuroUpdateGui.exe: one instance per
// desktop, the hidden main window, and the program's own commands (About,
// Exit).
class ClientApp : public Application {
 public:
  ClientApp() = default;
  ~ClientApp() override;

  bool OnCommand(WORD command) override;

 protected:
  bool InitInstance() override;
  int ExitInstance(int exitCode) override;

 private:
  HMODULE richEdit_ = nullptr;
  bool comInitialised_ = false;
};

}  // namespace zvu
