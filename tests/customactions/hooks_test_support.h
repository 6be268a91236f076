#pragma once

#include <windows.h>
#include <msi.h>

#include <mutex>
#include <string>
#include <vector>

#include "wait_until.h"

// Shared by the custom actions' tests: the built library and stand-ins, an
// installer session to call the actions with, the messages the engine got,
// the setup log, and the programs and files the actions work on.
namespace zvu::test::hooks {

// Build products as Wine sees them.
std::wstring HooksDll();
std::wstring MetabaseStandInDll();
std::wstring W3svcStandInExe();
std::wstring SleeperExe();
std::wstring QuestionStandInExe();  // a net.exe that asks on its input
std::wstring SnapinStandInDll();
std::wstring HooksPackagesDir();

// MsiHooks.dll loaded into the test process for the length of one object
// (its setup log opens on load and closes on unload).
class HooksLibrary {
 public:
  HooksLibrary();
  ~HooksLibrary();
  HooksLibrary(const HooksLibrary&) = delete;
  HooksLibrary& operator=(const HooksLibrary&) = delete;

  bool loaded() const { return module_ != nullptr; }
  FARPROC Export(const char* name) const;

  // The actions by their argument lists.
  UINT Session(const char* name, MSIHANDLE session) const;
  UINT SessionAndWide(const char* name, MSIHANDLE session, const wchar_t* text) const;
  UINT SessionAndNarrow(const char* name, MSIHANDLE session, const char* text) const;
  UINT Wide(const char* name, const wchar_t* text) const;

 private:
  HMODULE module_ = nullptr;
};

// What the installer engine was sent while a recorder was installed.
struct EngineMessage {
  INSTALLMESSAGE type;
  std::vector<std::wstring> fields;  // fields 1..n as text
};

// An installer session over the test package, with an external interface
// handler that records action-text and progress messages and can answer
// progress messages with "cancel".
class TestSession {
 public:
  TestSession();
  ~TestSession();
  TestSession(const TestSession&) = delete;
  TestSession& operator=(const TestSession&) = delete;

  MSIHANDLE get() const { return session_; }
  bool SetProperty(const wchar_t* name, const std::wstring& value);
  std::wstring Property(const wchar_t* name);

  void CancelProgress(bool cancel);
  std::vector<EngineMessage> Messages();
  std::vector<EngineMessage> Progress();  // progress messages only
  std::vector<std::wstring> ActionTexts();  // field 2 of each action start

 private:
  MSIHANDLE session_ = 0;
};

// The setup log at the root of the system drive.
std::wstring LogPath();
size_t LogSize();
// Whole text of the log from byte offset on.
std::string LogTextFrom(size_t offset);
// The messages of the entries from offset on, each checked for the time
// stamp and with its "\r\n" kept as "\n". A malformed entry is returned as
// "<malformed: ...>".
std::vector<std::string> LogMessagesFrom(size_t offset);

// Files and folders.
std::wstring FreshFolder(const std::wstring& name);  // below the temporary folder, ends in '\'
bool WriteFileText(const std::wstring& path, const std::string& text);
bool FileExists(const std::wstring& path);
bool CopyTo(const std::wstring& from, const std::wstring& to);
std::string Narrow(const std::wstring& text);

// Registry strings below HKLM, in the registry view that view names (0: the
// test's own, 64-bit view; KEY_WOW64_32KEY: the view a 32-bit setup writes into).
bool SetMachineString(const wchar_t* key, const wchar_t* name, const std::wstring& value,
                      REGSAM view = 0);
std::wstring MachineString(const wchar_t* key, const wchar_t* name, bool* present = nullptr,
                           REGSAM view = 0);
void DeleteMachineKey(const wchar_t* key, REGSAM view = 0);

// Programs. Sleepers (copies of the sleeper stand-in) run until QuitSleepers.
HANDLE StartProgram(const std::wstring& path, const std::wstring& currentDirectory = {});
void QuitSleepers();
// Identifiers of the running processes whose program file name is exactly so.
std::vector<DWORD> ProcessesNamed(const std::wstring& fileName);
using zvu::test::WaitUntil;

// The W3SVC stand-in service: installed (idempotent), removed, its state,
// its start and stop delays, started and stopped without net.exe.
bool InstallW3svcStandIn();
void RemoveW3svcStandIn();
DWORD W3svcState();
bool ReachState(DWORD state, DWORD timeoutMs = 15000);
void SetDelays(DWORD startMs, DWORD stopMs);
bool StartW3svcDirectly();
void StopW3svcDirectly();

}  // namespace zvu::test::hooks
