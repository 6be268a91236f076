#pragma once

#include "application.h"
#include "unique_handle.h"

namespace zvu {

// The application object of ZelkoVuroUpdateGui.exe: one instance per
// desktop, the hidden main window, and the program's own commands (About,
// Exit).
class ClientApp : public Application {
 public:
  ClientApp() = default;
  ~ClientApp() override = default;

  bool OnCommand(WORD command) override;

 protected:
  bool InitInstance() override;
  int ExitInstance(int exitCode) override;

 private:
  UniqueModule richEdit_;
  bool comInitialised_ = false;
};

}  // namespace zvu
