#include "hooks_test_support.h"

#include <msiquery.h>
#include <psapi.h>
#include <shellapi.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "temp_files.h"

namespace zvu::test::hooks {
namespace {

std::wstring WinePath(const char* unixPath) {
  std::wstring path = L"Z:";
  for (const char* c = unixPath; *c; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  return path;
}

std::mutex recorderLock;
std::vector<EngineMessage> recorded;
bool cancelProgress = false;

int WINAPI RecordMessage(LPVOID, UINT messageType, MSIHANDLE record) {
  const auto type = static_cast<INSTALLMESSAGE>(messageType & 0xFF000000u);
  EngineMessage message{type, {}};
  if (record) {
    const UINT count = MsiRecordGetFieldCount(record);
    for (UINT field = 1; field <= count; ++field) {
      wchar_t text[1024] = {};
      DWORD length = 1024;
      MsiRecordGetStringW(record, field, text, &length);
      message.fields.emplace_back(text);
    }
  }
  std::lock_guard lock(recorderLock);
  recorded.push_back(message);
  if (type == INSTALLMESSAGE_PROGRESS && cancelProgress) return IDCANCEL;
  return IDOK;
}

}  // namespace

std::wstring HooksDll() { return WinePath(ZVU_TEST_MSIHOOKS_DLL); }
std::wstring MetabaseStandInDll() { return WinePath(ZVU_TEST_METABASE_STANDIN_DLL); }
std::wstring W3svcStandInExe() { return WinePath(ZVU_TEST_W3SVC_STANDIN_EXE); }
std::wstring SleeperExe() { return WinePath(ZVU_TEST_SLEEPER_EXE); }
std::wstring QuestionStandInExe() { return WinePath(ZVU_TEST_QUESTION_STANDIN_EXE); }
std::wstring SnapinStandInDll() { return WinePath(ZVU_TEST_SNAPIN_STANDIN_DLL); }
std::wstring HooksPackagesDir() { return WinePath(ZVU_TEST_HOOKS_PACKAGES_DIR) + L"\\"; }

HooksLibrary::HooksLibrary() : module_(LoadLibraryW(HooksDll().c_str())) {}
HooksLibrary::~HooksLibrary() {
  if (module_) FreeLibrary(module_);
}

FARPROC HooksLibrary::Export(const char* name) const {
  return module_ ? GetProcAddress(module_, name) : nullptr;
}

UINT HooksLibrary::Session(const char* name, MSIHANDLE session) const {
  auto action = reinterpret_cast<UINT(__stdcall*)(MSIHANDLE)>(reinterpret_cast<void*>(Export(name)));
  return action ? action(session) : 0xFFFFFFFFu;
}

UINT HooksLibrary::SessionAndWide(const char* name, MSIHANDLE session, const wchar_t* text) const {
  auto action = reinterpret_cast<UINT(__stdcall*)(MSIHANDLE, LPCWSTR)>(reinterpret_cast<void*>(Export(name)));
  return action ? action(session, text) : 0xFFFFFFFFu;
}

UINT HooksLibrary::SessionAndNarrow(const char* name, MSIHANDLE session, const char* text) const {
  auto action = reinterpret_cast<UINT(__stdcall*)(MSIHANDLE, LPCSTR)>(reinterpret_cast<void*>(Export(name)));
  return action ? action(session, text) : 0xFFFFFFFFu;
}

UINT HooksLibrary::Wide(const char* name, const wchar_t* text) const {
  auto action = reinterpret_cast<UINT(__stdcall*)(LPCWSTR)>(reinterpret_cast<void*>(Export(name)));
  return action ? action(text) : 0xFFFFFFFFu;
}

TestSession::TestSession() {
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  MsiSetExternalUIRecord(RecordMessage,
                         INSTALLLOGMODE_PROGRESS | INSTALLLOGMODE_ACTIONSTART, nullptr, nullptr);
  {
    std::lock_guard lock(recorderLock);
    recorded.clear();
    cancelProgress = false;
  }
  const std::wstring package = HooksPackagesDir() + L"hooks-probe.msi";
  if (MsiOpenPackageW(package.c_str(), &session_) != ERROR_SUCCESS) session_ = 0;
  std::lock_guard lock(recorderLock);
  recorded.clear();
}

TestSession::~TestSession() {
  if (session_) MsiCloseHandle(session_);
  MsiSetExternalUIRecord(nullptr, 0, nullptr, nullptr);
}

bool TestSession::SetProperty(const wchar_t* name, const std::wstring& value) {
  return MsiSetPropertyW(session_, name, value.c_str()) == ERROR_SUCCESS;
}

std::wstring TestSession::Property(const wchar_t* name) {
  wchar_t value[2048] = {};
  DWORD length = 2048;
  if (MsiGetPropertyW(session_, name, value, &length) != ERROR_SUCCESS) return L"<unreadable>";
  return value;
}

void TestSession::CancelProgress(bool cancel) {
  std::lock_guard lock(recorderLock);
  cancelProgress = cancel;
}

std::vector<EngineMessage> TestSession::Messages() {
  std::lock_guard lock(recorderLock);
  return recorded;
}

std::vector<EngineMessage> TestSession::Progress() {
  std::vector<EngineMessage> progress;
  for (const EngineMessage& message : Messages()) {
    if (message.type == INSTALLMESSAGE_PROGRESS) progress.push_back(message);
  }
  return progress;
}

std::vector<std::wstring> TestSession::ActionTexts() {
  std::vector<std::wstring> texts;
  for (const EngineMessage& message : Messages()) {
    if (message.type == INSTALLMESSAGE_ACTIONSTART && message.fields.size() >= 2) {
      texts.push_back(message.fields[1]);
    }
  }
  return texts;
}

std::wstring LogPath() {
  wchar_t drive[MAX_PATH] = {};
  ExpandEnvironmentStringsW(L"%SYSTEMDRIVE%", drive, MAX_PATH);
  return std::wstring(drive) + L"\\IISQuillet_inst.log";
}

size_t LogSize() {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(LogPath().c_str(), GetFileExInfoStandard, &data)) return 0;
  return data.nFileSizeLow;
}

std::string LogTextFrom(size_t offset) {
  std::ifstream in(LogPath().c_str(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  return offset < all.size() ? all.substr(offset) : std::string();
}

std::vector<std::string> LogMessagesFrom(size_t offset) {
  static const std::regex entry(
      R"(^\d{4}-\d{2}-\d{2}  \d{2}:\d{2}:\d{2}:\d{3}\t([^\r\n]*)\r$)");
  std::vector<std::string> messages;
  std::istringstream lines(LogTextFrom(offset));
  std::string line;
  while (std::getline(lines, line)) {
    std::smatch match;
    if (std::regex_match(line, match, entry)) {
      messages.push_back(match[1].str() + "\n");
    } else {
      messages.push_back("<malformed: " + line + ">");
    }
  }
  return messages;
}

std::wstring FreshFolder(const std::wstring& name) {
  const std::string folder = FreshTempFolder(Narrow(name));
  std::wstring wide(folder.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, folder.data(),
                                                      static_cast<int>(folder.size()),
                                                      wide.data(), static_cast<int>(wide.size()))));
  return wide + L"\\";
}

bool WriteFileText(const std::wstring& path, const std::string& text) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CopyTo(const std::wstring& from, const std::wstring& to) {
  return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += c < 128 ? static_cast<char>(c) : '?';
  return narrow;
}

bool SetMachineString(const wchar_t* key, const wchar_t* name, const std::wstring& value,
                      REGSAM view) {
  HKEY opened = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                      &opened, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const bool set = RegSetValueExW(opened, name, 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
                   ERROR_SUCCESS;
  RegCloseKey(opened);
  return set;
}

std::wstring MachineString(const wchar_t* key, const wchar_t* name, bool* present, REGSAM view) {
  wchar_t value[2048] = {};
  DWORD size = sizeof(value);
  HKEY opened = nullptr;
  bool found = false;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | view, &opened) ==
      ERROR_SUCCESS) {
    found = RegGetValueW(opened, nullptr, name, RRF_RT_REG_SZ, nullptr, value, &size) ==
            ERROR_SUCCESS;
    RegCloseKey(opened);
  }
  if (present) *present = found;
  return found ? value : L"";
}

void DeleteMachineKey(const wchar_t* key, REGSAM view) {
  // A recursive delete works in the view its handle was opened in.
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0,
                    DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | view,
                    &opened) == ERROR_SUCCESS) {
    RegDeleteTreeW(opened, nullptr);
    RegCloseKey(opened);
  }
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, view, 0);
}

HANDLE StartProgram(const std::wstring& path, const std::wstring& currentDirectory) {
  std::wstring commandLine = L"\"" + path + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup,
                      &started)) {
    return nullptr;
  }
  CloseHandle(started.hThread);
  return started.hProcess;
}

namespace {

// Calls visit with every running process that can be opened with access,
// and the path of its program; visit keeps the handle (true) or not.
template <typename Visit>
void ForEachProcess(DWORD access, Visit visit) {
  std::vector<DWORD> ids(4096);
  DWORD bytes = 0;
  if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) return;
  ids.resize(bytes / sizeof(DWORD));
  for (DWORD id : ids) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | access, FALSE, id);
    if (!process) continue;
    wchar_t image[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    const bool kept =
        QueryFullProcessImageNameW(process, 0, image, &length) &&
        visit(id, std::wstring(image, length), process);
    if (!kept) CloseHandle(process);
  }
}

}  // namespace

void QuitSleepers() {
  HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, L"zvu-hooks-sleepers-quit");
  if (!quit) return;
  // The sleepers that are waiting: programs that left their marker.
  std::vector<HANDLE> sleepers;
  ForEachProcess(SYNCHRONIZE, [&](DWORD, const std::wstring& image, HANDLE process) {
    if (!FileExists(image + L".ran")) return false;
    sleepers.push_back(process);
    return true;
  });
  SetEvent(quit);
  for (HANDLE sleeper : sleepers) {
    WaitForSingleObject(sleeper, 10000);
    CloseHandle(sleeper);
  }
  ResetEvent(quit);
  CloseHandle(quit);
}

std::vector<DWORD> ProcessesNamed(const std::wstring& fileName) {
  std::vector<DWORD> found;
  ForEachProcess(0, [&](DWORD id, const std::wstring& image, HANDLE) {
    const size_t slash = image.find_last_of(L"\\/");
    if (image.substr(slash == std::wstring::npos ? 0 : slash + 1) == fileName) found.push_back(id);
    return false;
  });
  return found;
}

namespace {

const wchar_t kW3svcParameters[] = L"System\\CurrentControlSet\\Services\\W3SVC\\Parameters";

class ServiceManager {
 public:
  ServiceManager() : manager_(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {}
  ~ServiceManager() {
    if (manager_) CloseServiceHandle(manager_);
  }
  SC_HANDLE get() const { return manager_; }

 private:
  SC_HANDLE manager_;
};

}  // namespace

DWORD W3svcState() {
  ServiceManager manager;
  SC_HANDLE service = OpenServiceW(manager.get(), L"W3SVC", SERVICE_QUERY_STATUS);
  if (!service) return 0;
  SERVICE_STATUS status = {};
  QueryServiceStatus(service, &status);
  CloseServiceHandle(service);
  return status.dwCurrentState;
}

bool ReachState(DWORD state, DWORD timeoutMs) {
  return WaitUntil([&] { return W3svcState() == state; }, timeoutMs);
}

void SetDelays(DWORD startMs, DWORD stopMs) {
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, kW3svcParameters, L"StartDelayMs", REG_DWORD, &startMs,
                  sizeof(startMs));
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, kW3svcParameters, L"StopDelayMs", REG_DWORD, &stopMs,
                  sizeof(stopMs));
}

bool StartW3svcDirectly() {
  ServiceManager manager;
  SC_HANDLE service = OpenServiceW(manager.get(), L"W3SVC", SERVICE_START);
  if (!service) return false;
  StartServiceW(service, 0, nullptr);
  CloseServiceHandle(service);
  return ReachState(SERVICE_RUNNING);
}

void StopW3svcDirectly() {
  ServiceManager manager;
  SC_HANDLE service = OpenServiceW(manager.get(), L"W3SVC", SERVICE_STOP);
  if (!service) return;
  SERVICE_STATUS status = {};
  ControlService(service, SERVICE_CONTROL_STOP, &status);
  CloseServiceHandle(service);
  ReachState(SERVICE_STOPPED);
}


bool InstallW3svcStandIn() {
  ServiceManager manager;
  if (!manager.get()) return false;
  const std::wstring program = L"\"" + W3svcStandInExe() + L"\"";
  SC_HANDLE service =
      CreateServiceW(manager.get(), L"W3SVC", L"W3SVC stand-in", SERVICE_ALL_ACCESS,
                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                     program.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  if (!service && GetLastError() == ERROR_SERVICE_EXISTS) {
    service = OpenServiceW(manager.get(), L"W3SVC", SERVICE_ALL_ACCESS);
  }
  if (!service) return false;
  CloseServiceHandle(service);
  SetDelays(0, 0);
  return true;
}

void RemoveW3svcStandIn() {
  SetDelays(0, 0);
  StopW3svcDirectly();
  ServiceManager manager;
  SC_HANDLE service = OpenServiceW(manager.get(), L"W3SVC", DELETE);
  if (service) {
    DeleteService(service);
    CloseServiceHandle(service);
  }
}

}  // namespace zvu::test::hooks
