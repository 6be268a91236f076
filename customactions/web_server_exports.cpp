// Stopping and starting the web server through "net.exe" while the
// installer's progress bar moves.
#include <windows.h>
#include <msiquery.h>

#include <string>

#include "guarded.h"
#include "hooks_texts.h"
#include "installer_session.h"
#include "msihooks.h"
#include "net_command_wait.h"
#include "unique_handle.h"
#include "run_command.h"

using namespace zvu::hooks;
using zvu::UniqueHandle;
using zvu::UniqueMsiHandle;

namespace {

// The net command for the web-publishing service. The folder ends in a
// backslash already; the doubled one before "net.exe" is harmless.
std::wstring NetCommand(const std::wstring& systemFolder, const wchar_t* verb) {
  return L"\"" + systemFolder + L"\\net.exe\" " + verb + L" w3svc";
}

struct StartedCommand {
  UINT failure = kActionSuccess;  // set when there is nothing to wait for
  UniqueHandle process;
};

StartedCommand StartNetCommand(MSIHANDLE session, const wchar_t* verb, const wchar_t* text) {
  StartedCommand started;
  const FolderProperty systemFolder = ReadFolderProperty(session, L"SystemFolder");
  if (!systemFolder.readable) {
    started.failure = kActionFailed;
    return started;
  }
  if (systemFolder.value.empty()) return started;
  const std::wstring command = NetCommand(systemFolder.value, verb);
  ShowActionText(session, text);
  // net asks before it stops services that depend on the one named; no one
  // can answer from here, so its input is the null device.
  started.process = RunCommand(command, false, {}, true);
  if (!started.process) started.failure = kActionFailed;
  return started;
}

// Waits for the command, ticking the progress dialog; the user may cancel
// the wait (the command itself runs on).
UINT RunNetCommandCancellable(MSIHANDLE session, const wchar_t* verb, const wchar_t* text) {
  StartedCommand started = StartNetCommand(session, verb, text);
  if (!started.process) return started.failure;
  UniqueMsiHandle progress(MsiCreateRecord(3));
  while (!ProcessEnded(started.process.get(), 200)) {
    Sleep(300);
    if (progress && SendProgress(session, progress.get(), 1, 1, 0) == kEngineCancel) {
      return kActionUserCancelled;
    }
  }
  LogNetExitCode(started.process.get());
  return kActionSuccess;
}

}  // namespace

UINT __stdcall StopW3SVC(MSIHANDLE session) {
  return Guarded(kActionFailed,
                 [&] { return RunNetCommandCancellable(session, L"stop", texts::kStoppingIis); });
}

UINT __stdcall StartW3SVC(MSIHANDLE session) {
  return Guarded(kActionFailed,
                 [&] { return RunNetCommandCancellable(session, L"start", texts::kStartingIis); });
}

UINT __stdcall StartW3Progress(MSIHANDLE session) {
  return Guarded(kActionFailed, [&] {
    StartedCommand started = StartNetCommand(session, L"start", texts::kStartingIis);
    if (!started.process) return started.failure;
    WaitWithStartProgress(session, started.process.get(), kStartProgressBoundMs);
    return kActionSuccess;
  });
}
