#pragma once

namespace zvu {

// Called by InstallerRunner while it prepares and waits for an installer, so
// that the caller's windows stay responsive: once after the log file is made,
// once before the installer starts and once per 200 ms check while it runs.
// The runner ignores the returned value.
class InstallerWaitCallback {
 public:
  virtual int OnInstallerWait() = 0;

 protected:
  ~InstallerWaitCallback() = default;
};

}  // namespace zvu
