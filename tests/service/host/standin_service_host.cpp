// The service program's frame with stand-in work, for reading its start and
// stop reports back through the control manager while a step waits. Its
// registration thread's start waits until the event kStartGate is set, its
// end until kStopGate is set (each a minute at the most); checks and
// hand-offs fail at once. Installed with /Service like the program itself.
#include <windows.h>

#include "host_command_line.h"
#include "update_service.h"
#include "update_work.h"

namespace {

constexpr char kStartGate[] = "Global\\ZvuStandinHostStartGate";
constexpr char kStopGate[] = "Global\\ZvuStandinHostStopGate";
constexpr DWORD kGateLimitMs = 60000;

void WaitAtGate(const char* name) {
  HANDLE gate = CreateEventA(nullptr, TRUE, FALSE, name);
  if (gate == nullptr) return;
  WaitForSingleObject(gate, kGateLimitMs);
  CloseHandle(gate);
}

class GatedWork final : public zvu::UpdateWork {
 public:
  HRESULT StartRegistrationThread() override {
    WaitAtGate(kStartGate);
    return S_OK;
  }
  void StopRegistrationThread() override { WaitAtGate(kStopGate); }
  HRESULT CheckForUpdates(std::string&, HANDLE) override { return zvu::kCheckInconclusive; }
  HRESULT SendCatalogue(const std::string&, HANDLE) override { return E_FAIL; }
};

GatedWork g_work;
zvu::UpdateService g_service(g_work);

}  // namespace

int main() { return g_service.Main(zvu::CommandLineArguments(GetCommandLineA())); }
