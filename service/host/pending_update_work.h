#pragma once

#include "update_work.h"

namespace zvu {

// The service's work while the pipe server and the catalogue check are not
// part of the program: no client can register and every check finds nothing.
class PendingUpdateWork final : public UpdateWork {
 public:
  HRESULT StartRegistrationThread() override { return E_FAIL; }
  HRESULT CheckForUpdates(std::string&, HANDLE) override { return E_FAIL; }
  HRESULT SendCatalogue(const std::string&, HANDLE) override { return E_FAIL; }
};

}  // namespace zvu
