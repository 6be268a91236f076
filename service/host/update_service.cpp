#include "update_service.h"

#include <objbase.h>

#include <cstdio>
#include <optional>

#include "appid_registry.h"
#include "com_ptr.h"
#include "event_source_registry.h"
#include "host_command_line.h"
#include "program_log.h"
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

}  // namespace

std::atomic<UpdateService*> UpdateService::instance_{nullptr};

UpdateService::UpdateService(UpdateWork& work)
    : serviceName_(LoadServiceName()),
      stopEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      work_(work),
      cycle_(work, stopEvent_.get()),
      events_(serviceName_),
      notice_(serviceName_, events_) {
  status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status_.dwCurrentState = SERVICE_STOPPED;
  status_.dwControlsAccepted = SERVICE_ACCEPT_STOP;
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
  SetState(SERVICE_START_PENDING);
  {
    std::lock_guard<std::mutex> lock(statusMutex_);
    status_.dwWin32ExitCode = NO_ERROR;
    status_.dwCheckPoint = 0;
    status_.dwWaitHint = 0;
  }

  const HRESULT result = Run();

  {
    std::lock_guard<std::mutex> lock(statusMutex_);
    status_.dwWin32ExitCode = static_cast<DWORD>(result);
  }
  SetState(SERVICE_STOPPED);
  LogEvent(texts::kEventServiceStopped);
}

void UpdateService::SetState(DWORD state) {
  std::lock_guard<std::mutex> lock(statusMutex_);
  status_.dwCurrentState = state;
  if (statusHandle_ != nullptr) SetServiceStatus(statusHandle_, &status_);
}

void UpdateService::ReportRunningUnlessStopping() {
  std::lock_guard<std::mutex> lock(statusMutex_);
  // The stop request and this report take the same lock: whichever comes
  // second sees the other, so "running" never follows "stop pending".
  if (stopRequested_ || StopRequested()) return;
  status_.dwCurrentState = SERVICE_RUNNING;
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
        if (status_.dwCurrentState != SERVICE_STOPPED) {
          status_.dwCurrentState = SERVICE_STOP_PENDING;
          if (statusHandle_ != nullptr) SetServiceStatus(statusHandle_, &status_);
        }
      }
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
      LogEvent(texts::kEventBadServiceRequest);
      break;
  }
}

HRESULT UpdateService::Run() {
  const ComInitialization com;
  cycle_.Start();
  // The log is open before the registration thread starts, so that what
  // that thread has to report from its first pipe instance on is kept.
  if (!ProgramLog::Open(kServiceLogPath)) {
    char message[160];
    std::snprintf(message, sizeof(message), texts::kEventLogNotOpened, kServiceLogPath,
                  static_cast<unsigned long>(GetLastError()));
    LogEvent(message);
  }
  work_.StartRegistrationThread();

  timerId_ = SetTimer(nullptr, 0, kTimerPeriodMs, nullptr);
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
    if (msg.message == WM_TIMER) cycle_.OnTimerTick();
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }

  mainThreadId_ = 0;
  if (timerId_ != 0) KillTimer(nullptr, timerId_);
  timerId_ = 0;
  // Before "stopped" is reported: a service started again at once must find
  // the pipe name free, and no client may register with a process that ends.
  work_.StopRegistrationThread();
  ProgramLog::Close();
  return S_OK;
}

}  // namespace zvu
