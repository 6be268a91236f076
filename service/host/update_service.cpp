#include "update_service.h"

#include <objbase.h>

#include <optional>

#include "appid_registry.h"
#include "com_ptr.h"
#include "event_source_registry.h"
#include "format_text.h"
#include "host_command_line.h"
#include "program_log.h"
#include "registration_pipe_security.h"
#include "registry_script.h"
#include "service_installer.h"
#include "service_texts.h"

namespace zvu {
namespace {

constexpr char kDefaultServiceName[] = "ZelkoVuroUpdate";

std::string LoadServiceName() {
  char name[257] = {};
  const int length = LoadStringA(GetModuleHandleA(nullptr), kServiceNameResourceId, name,
                                 static_cast<int>(sizeof(name)));
  return length > 0 ? std::string(name, static_cast<size_t>(length)) : kDefaultServiceName;
}

// The reason of a log path that was opened or looked at but not used.
std::string LogRefusalReason(const LogFileRefusal& refusal) {
  switch (refusal.fault) {
    case LogFileFault::kFolder:
      return texts::kLogIsFolder;
    case LogFileFault::kReparsePoint:
      return texts::kFolderIsReparsePoint;
    case LogFileFault::kLinked:
      return FormatText(texts::kLogHasLinks, static_cast<unsigned long>(refusal.links));
    case LogFileFault::kNotRead:
      return FormatText(texts::kLogInformationNotRead, static_cast<unsigned long>(refusal.error));
    case LogFileFault::kNone:
    case LogFileFault::kNotOpened:
      break;
  }
  return {};
}

// The exit code the control manager shows for the service body's result: a
// Windows error as itself, any other failure as a service-specific one.
void SetExitCode(SERVICE_STATUS& status, HRESULT result) {
  status.dwServiceSpecificExitCode = 0;
  if (SUCCEEDED(result)) {
    status.dwWin32ExitCode = NO_ERROR;
  } else if (HRESULT_FACILITY(result) == FACILITY_WIN32) {
    status.dwWin32ExitCode = HRESULT_CODE(result);
  } else {
    status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = static_cast<DWORD>(result);
  }
}

}  // namespace

UINT_PTR StartThreadTimer(UINT periodMs) { return SetTimer(nullptr, 0, periodMs, nullptr); }

std::atomic<UpdateService*> UpdateService::instance_{nullptr};

UpdateService::UpdateService(UpdateWork& work, TimerStart startTimer)
    : serviceName_(LoadServiceName()),
      startTimer_(startTimer),
      stopEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      work_(work),
      cycle_(work, stopEvent_.get()),
      events_(serviceName_),
      notice_(serviceName_, events_) {
  status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status_.dwCurrentState = SERVICE_STOPPED;
  // Stop is accepted while running only: not during the start's or the
  // stop's steps, nor once stopped.
  status_.dwControlsAccepted = 0;
}

UpdateService::~UpdateService() {
  UpdateService* self = this;
  instance_.compare_exchange_strong(self, nullptr);
}

int UpdateService::Main(std::string_view arguments) {
  switch (ParseHostCommand(arguments)) {
    case HostCommand::UnregServer:
      return static_cast<int>(UnregisterServer());
    case HostCommand::RegServer:
      return static_cast<int>(RegisterServer(false));
    case HostCommand::Service:
      return static_cast<int>(RegisterServer(true));
    case HostCommand::Start:
      break;
  }
  return Start();
}

std::string UpdateService::LoadScript() const {
  return LoadRegistryScriptResource(GetModuleHandleA(nullptr), kRegistryScriptResourceId)
      .value_or(std::string());
}

HRESULT UpdateService::RegisterServer(bool asService) {
  // "RegServer" leaves no service behind. "Service" brings an existing entry
  // up to date in place (a repair or an upgrade keeps the administrator's
  // start type and recovery) or creates it.
  const ServiceInstaller installer(serviceName_, notice_, events_);
  if (!asService && !installer.Uninstall()) return E_FAIL;

  const std::string script = LoadScript();
  if (script.empty()) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  LONG result = WriteAppIdEntries(HKEY_CLASSES_ROOT, script);
  if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);

  if (asService) {
    result = WriteLocalServiceValue(HKEY_CLASSES_ROOT, serviceName_);
    if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);
    // Before the service exists, so that its first event already reads as text.
    result = WriteOwnEventSource();
    if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);
    if (!installer.Install()) return E_FAIL;
  }
  return S_OK;
}

HRESULT UpdateService::UnregisterServer() {
  if (!ServiceInstaller(serviceName_, notice_, events_).Uninstall()) return E_FAIL;
  const std::string script = LoadScript();
  if (script.empty()) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  const LONG result = RemoveAppIdEntries(HKEY_CLASSES_ROOT, script);
  if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);
  return HRESULT_FROM_WIN32(RemoveEventSourceEntry(HKEY_LOCAL_MACHINE, serviceName_));
}

LONG UpdateService::WriteOwnEventSource() const {
  // The message table is in this program: its full path, written as it is
  // (the value is REG_EXPAND_SZ as the event log expects; a path without
  // "%" expands to itself).
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0) return static_cast<LONG>(GetLastError());
  if (length >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  return WriteEventSourceEntry(HKEY_LOCAL_MACHINE, serviceName_, std::string_view(path, length));
}

int UpdateService::Start() {
  bool localService = false;
  const LONG result = ReadLocalServiceFlag(HKEY_CLASSES_ROOT, localService);
  if (result != ERROR_SUCCESS) return static_cast<int>(result);
  serviceMode_ = localService;
  events_.SetPrintToConsole(!localService);
  if (!localService) return static_cast<int>(Run());

  instance_ = this;
  SERVICE_TABLE_ENTRYA table[] = {
      {const_cast<char*>(serviceName_.c_str()), &UpdateService::ServiceMainEntry},
      {nullptr, nullptr},
  };
  if (!StartServiceCtrlDispatcherA(table)) return static_cast<int>(GetLastError());
  std::lock_guard<std::mutex> lock(statusMutex_);
  return static_cast<int>(status_.dwWin32ExitCode);
}

void WINAPI UpdateService::ServiceMainEntry(DWORD, LPSTR*) {
  if (UpdateService* service = instance_.load()) service->ServiceMain();
}

void WINAPI UpdateService::ControlHandlerEntry(DWORD control) {
  if (UpdateService* service = instance_.load()) service->HandleControl(control);
}

void UpdateService::ServiceMain() {
  {
    std::lock_guard<std::mutex> lock(statusMutex_);
    status_.dwCurrentState = SERVICE_START_PENDING;
    statusHandle_ = RegisterServiceCtrlHandlerA(serviceName_.c_str(), &ControlHandlerEntry);
    if (statusHandle_ == nullptr) {
      events_.Report(texts::kEventHandlerNotInstalled);
      return;
    }
  }
  {
    std::lock_guard<std::mutex> lock(statusMutex_);
    status_.dwWin32ExitCode = NO_ERROR;
    status_.dwCheckPoint = 0;
  }
  ReportProgress(SERVICE_START_PENDING, kStartStepWaitHintMs);

  const HRESULT result = Run();

  {
    std::lock_guard<std::mutex> lock(statusMutex_);
    SetExitCode(status_, result);
  }
  SetState(SERVICE_STOPPED);
  LogEvent(texts::kEventServiceStopped);
}

void UpdateService::SetState(DWORD state) {
  std::lock_guard<std::mutex> lock(statusMutex_);
  status_.dwCurrentState = state;
  status_.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status_.dwCheckPoint = 0;
  status_.dwWaitHint = 0;
  if (statusHandle_ != nullptr) SetServiceStatus(statusHandle_, &status_);
}

void UpdateService::ReportProgress(DWORD pendingState, DWORD waitHintMs) {
  std::lock_guard<std::mutex> lock(statusMutex_);
  if (status_.dwCurrentState == SERVICE_STOPPED) return;
  if (pendingState == SERVICE_START_PENDING &&
      (stopRequested_ || status_.dwCurrentState != SERVICE_START_PENDING)) {
    return;
  }
  // The checkpoint counts the steps of one start or one stop.
  if (status_.dwCurrentState == pendingState) {
    ++status_.dwCheckPoint;
  } else {
    status_.dwCurrentState = pendingState;
    status_.dwCheckPoint = 1;
  }
  status_.dwControlsAccepted = 0;
  status_.dwWaitHint = waitHintMs;
  if (statusHandle_ != nullptr) SetServiceStatus(statusHandle_, &status_);
}

void UpdateService::ReportRunningUnlessStopping() {
  std::lock_guard<std::mutex> lock(statusMutex_);
  // The stop request and this report take the same lock: whichever comes
  // second sees the other, so "running" never follows "stop pending".
  if (stopRequested_ || StopRequested()) return;
  status_.dwCurrentState = SERVICE_RUNNING;
  status_.dwControlsAccepted = SERVICE_ACCEPT_STOP;
  status_.dwCheckPoint = 0;
  status_.dwWaitHint = 0;
  if (statusHandle_ != nullptr) SetServiceStatus(statusHandle_, &status_);
}

DWORD UpdateService::CurrentState() const {
  std::lock_guard<std::mutex> lock(statusMutex_);
  return status_.dwCurrentState;
}

void UpdateService::LogEvent(const char* message) { events_.Report(message); }

bool UpdateService::StopRequested() const {
  return stopEvent_ && WaitForSingleObject(stopEvent_.get(), 0) == WAIT_OBJECT_0;
}

void UpdateService::HandleControl(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP: {
      {
        // A late stop must not turn an already reported "stopped" back into
        // "stop pending"; once it is recorded, "running" is not reported.
        std::lock_guard<std::mutex> lock(statusMutex_);
        stopRequested_ = true;
      }
      // The first step of the stop: until the loop has ended.
      ReportProgress(SERVICE_STOP_PENDING, kStopRequestWaitHintMs);
      // The event also ends a check or a hand-off that is waiting right now.
      if (stopEvent_) SetEvent(stopEvent_.get());
      const DWORD threadId = mainThreadId_.load();
      if (threadId != 0) PostThreadMessageA(threadId, WM_QUIT, 0, 0);
      break;
    }
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_INTERROGATE:
    case SERVICE_CONTROL_SHUTDOWN:
      break;
    default:
      ReportBadRequest();
      break;
  }
}

void UpdateService::ReportBadRequest() {
  const BadRequestLimit::Decision decision = badRequests_.OnRequest();
  if (!decision.report) return;
  if (decision.heldBack != 0) ReportHeldBackRequests(decision.heldBack);
  LogEvent(texts::kEventBadServiceRequest);
}

void UpdateService::ReportHeldBackRequests(DWORD count) {
  const unsigned long held = count;
  LogEvent(FormatText(texts::kEventBadRequestsHeldBack, held).c_str());
  ProgramLog::Printf(texts::kBadRequestsHeldBackRecord, held);
}

void UpdateService::OpenLog() {
  // Created with its own access list; a descriptor that cannot be built
  // creates nothing, rather than a file that users could write.
  RegistrationPipeSecurity security(kServiceLogSddl);
  LogFileRefusal refusal;
  if (security.Attributes() == nullptr) {
    refusal.fault = LogFileFault::kNotOpened;
    refusal.error = security.Error();
  } else if (ProgramLog::OpenPlainFile(kServiceLogPath, security.Attributes(), refusal)) {
    if (refusal.listError != 0) {
      LogEvent(FormatText(texts::kEventLogListNotRenewed, kServiceLogPath,
                          static_cast<unsigned long>(refusal.listError))
                   .c_str());
    }
    return;
  }
  const std::string reason = LogRefusalReason(refusal);
  if (reason.empty()) {
    LogEvent(FormatText(texts::kEventLogNotOpened, kServiceLogPath,
                        static_cast<unsigned long>(refusal.error))
                 .c_str());
  } else {
    LogEvent(FormatText(texts::kEventLogNotUsed, kServiceLogPath, reason.c_str()).c_str());
  }
}

HRESULT UpdateService::Run() {
  const ComInitialization com;
  cycle_.Start();
  // The log is open before the registration thread starts, so that what
  // that thread has to report from its first pipe instance on is kept.
  OpenLog();
  ReportProgress(SERVICE_START_PENDING, kStartStepWaitHintMs);

  // Without the timer no check would ever run: the service stops instead.
  timerId_ = startTimer_(kTimerPeriodMs);
  if (timerId_ == 0) {
    DWORD error = GetLastError();
    if (error == ERROR_SUCCESS) error = ERROR_NO_SYSTEM_RESOURCES;
    events_.ReportError(
        FormatText(texts::kEventTimerNotCreated, static_cast<unsigned long>(error)).c_str());
    ProgramLog::Close();
    return HRESULT_FROM_WIN32(error);
  }
  ReportProgress(SERVICE_START_PENDING, kStartStepWaitHintMs);

  work_.StartRegistrationThread();
  ReportProgress(SERVICE_START_PENDING, kStartStepWaitHintMs);

  MSG msg;
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // make sure the thread has its queue
  if (serviceMode_) mainThreadId_ = GetCurrentThreadId();

  if (serviceMode_) {
    LogEvent(texts::kEventServiceStarted);
    ReportRunningUnlessStopping();
  }
  // A stop that came before the thread id was known could only set the event.
  if (StopRequested()) PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);

  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER) {
      cycle_.OnTimerTick();
      if (const DWORD held = badRequests_.TakeHeldBack(); held != 0) ReportHeldBackRequests(held);
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }

  mainThreadId_ = 0;
  if (timerId_ != 0) KillTimer(nullptr, timerId_);
  timerId_ = 0;
  if (serviceMode_) ReportProgress(SERVICE_STOP_PENDING, kStopPipesWaitHintMs);
  // Before "stopped" is reported: a service started again at once must find
  // the pipe name free, and no client may register with a process that ends.
  work_.StopRegistrationThread();
  if (serviceMode_) ReportProgress(SERVICE_STOP_PENDING, kStopFinishWaitHintMs);
  if (const DWORD held = badRequests_.TakeHeldBack(true); held != 0) ReportHeldBackRequests(held);
  ProgramLog::Close();
  return S_OK;
}

}  // namespace zvu
