#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "bad_request_limit.h"
#include "event_reporter.h"
#include "failure_notice.h"
#include "unique_handle.h"
#include "update_cycle.h"
#include "update_work.h"

namespace zvu {

inline constexpr int kServiceNameResourceId = 100;
inline constexpr char kServiceLogPath[] = "c:\\VuroUpdateService.log";
inline constexpr UINT kTimerPeriodMs = 5000;

// Who may use the service's log when the service creates it: local system
// and the administrators full control, users read. Protected: nothing is
// taken from the root of C:, whose list passes Authenticated Users a right
// to modify files created there.
inline constexpr char kServiceLogSddl[] = "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)";

// How long the control manager is told to wait for the next step of a start
// or a stop (the wait hint of each pending report; every step raises the
// checkpoint). A start step: COM, the log, the timer, the pipes (each pipe
// waits up to 2 s for its first instance).
inline constexpr DWORD kStartStepWaitHintMs = 10000;
// From the stop request until the loop has ended: a check in progress ends
// on the stop event and then waits up to 5 s for its transfer to close.
inline constexpr DWORD kStopRequestWaitHintMs = 10000;
// The registration and install pipes' threads: up to 5 s each.
inline constexpr DWORD kStopPipesWaitHintMs = 15000;
// The last step: the log and COM.
inline constexpr DWORD kStopFinishWaitHintMs = 3000;

// Makes the thread timer that drives the update cycle: SetTimer without a
// window or callback. 0 when it cannot be made (the error is the thread's
// last error).
UINT_PTR StartThreadTimer(UINT periodMs);
using TimerStart = UINT_PTR (*)(UINT periodMs);

// The update service program: its command line, its registration, its life
// towards the service control manager and the main thread's message loop that
// drives the update cycle. One object per process.
class UpdateService {
 public:
  // Loads the service name from string resource 100 of the program
  // ("ZelkoVuroUpdate" when the resource cannot be read).
  // `startTimer` makes the thread timer (StartThreadTimer in the program).
  explicit UpdateService(UpdateWork& work, TimerStart startTimer = &StartThreadTimer);
  ~UpdateService();

  UpdateService(const UpdateService&) = delete;
  UpdateService& operator=(const UpdateService&) = delete;

  // The whole program: runs the operation the command-line arguments choose
  // and returns the process exit code.
  int Main(std::string_view arguments);

  // "RegServer" (asService false) and "Service" (asService true). "Service"
  // also registers the program as the event source of the service's events.
  HRESULT RegisterServer(bool asService);
  // "UnregServer"; it also removes the event source.
  HRESULT UnregisterServer();
  // No switch: service mode when "LocalService" is registered, else plain mode.
  int Start();

  // The service body: timer, message loop and update cycle until a stop
  // request (or WM_QUIT) ends the loop; the registration thread is ended
  // before it returns. Returns 0, or the error of a timer that could not be
  // made (the loop then does not run).
  HRESULT Run();

  // Reacts to a control code of the service control manager.
  void HandleControl(DWORD control);

  const std::string& Name() const { return serviceName_; }
  bool ServiceMode() const { return serviceMode_; }
  DWORD CurrentState() const;
  const UpdateCycle& Cycle() const { return cycle_; }

 private:
  static void WINAPI ServiceMainEntry(DWORD argc, LPSTR* argv);
  static void WINAPI ControlHandlerEntry(DWORD control);

  void ServiceMain();
  void SetState(DWORD state);
  // Reports the next step of a start or stop: the pending state with a
  // raised checkpoint and this wait hint. A start step is not reported once
  // a stop has come; nothing is reported once "stopped" has been.
  void ReportProgress(DWORD pendingState, DWORD waitHintMs);
  void OpenLog();
  void ReportBadRequest();
  void ReportHeldBackRequests(DWORD count);
  // Reports "running" unless a stop request has come.
  void ReportRunningUnlessStopping();
  void LogEvent(const char* message);
  bool StopRequested() const;
  std::string LoadScript() const;
  // The event source's entry naming this program as its message file.
  LONG WriteOwnEventSource() const;

  static std::atomic<UpdateService*> instance_;

  std::string serviceName_;
  SERVICE_STATUS_HANDLE statusHandle_ = nullptr;
  mutable std::mutex statusMutex_;  // the status record is shared with the control handler
  SERVICE_STATUS status_{};
  bool stopRequested_ = false;  // guarded by statusMutex_
  std::atomic<bool> serviceMode_{true};
  std::atomic<DWORD> mainThreadId_{0};
  UINT_PTR timerId_ = 0;
  TimerStart startTimer_;
  BadRequestLimit badRequests_;
  UniqueHandle stopEvent_;
  UpdateWork& work_;
  UpdateCycle cycle_;
  EventReporter events_;
  FailureNotice notice_;
};

}  // namespace zvu
