#include "client_finder.h"

#include <vector>

#include "client_launcher.h"
#include "program_log.h"
#include "unique_handle.h"
#include "service_texts.h"

namespace zvu {
namespace {

enum class Pass { kConsole, kTerminal };

// Whether no process has this id any more: once every handle of an ended
// process is closed its id names nothing, and opening it fails with
// ERROR_INVALID_PARAMETER. A process that merely refuses us still exists.
// Its entry goes, with the service's copy of its pipe: nobody reads that
// pipe, and a later process given the same id must not inherit it.
bool IsGone(DWORD processId) {
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  return !process && GetLastError() == ERROR_INVALID_PARAMETER;
}

// One walk over the registered clients. Returns true with *chosen set when
// a client qualifies for this pass.
bool WalkClients(ClientTable& table, const SessionRules& rules, Pass pass, ChosenClient* chosen) {
  for (const ClientTable::Entry& entry : table.Entries()) {
    DWORD session = 0;
    if (!rules.SessionOfProcess(entry.processId, &session)) {
      if (IsGone(entry.processId)) table.RemoveAndClose(entry.processId, entry.pipe);
      continue;
    }
    UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.processId));
    if (!process) {
      const DWORD openError = GetLastError();
      const int error = static_cast<int>(openError);
      if (pass == Pass::kConsole) {
        ProgramLog::Printf(texts::kOpenConsoleProcessFailed,
                           error, static_cast<int>(session), static_cast<int>(entry.processId), 0);
      } else {
        ProgramLog::Printf(texts::kOpenTerminalProcessFailed, error,
            static_cast<int>(session), static_cast<int>(entry.processId), 0);
      }
      if (openError == ERROR_INVALID_PARAMETER) table.RemoveAndClose(entry.processId, entry.pipe);
      continue;
    }
    DWORD exitCode = 0;
    if (GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE) {
      table.RemoveAndClose(entry.processId, entry.pipe);
      continue;
    }
    process.reset();
    if (!rules.IsSessionActive(session)) continue;
    if (pass == Pass::kConsole) {
      if (!rules.IsConsoleSession(session)) continue;
      ProgramLog::Printf(texts::kClientFoundInConsole,
                         static_cast<int>(session), static_cast<int>(entry.processId));
    } else {
      ProgramLog::Printf(texts::kClientFoundInTerminal,
                         static_cast<int>(session), static_cast<int>(entry.processId));
    }
    chosen->processId = entry.processId;
    chosen->pipe = entry.pipe;
    return true;
  }
  return false;
}

// Starts the client in the session of the first "explorer.exe" whose session
// is active; where no shell runs in an active session (a kiosk shell, Server
// Core, a shell not started yet), in the first active session with a user,
// as that session's user. When the machine's sessions can be listed and none
// is active (a server nobody is logged on to), nothing could be started:
// neither the process snapshot is taken nor anything tried. A list that
// cannot be read does not stop the search.
void LaunchClient(const SessionRules& rules, const ClientLauncher& launch) {
  std::vector<DWORD> activeSessions;
  const std::vector<DWORD> sessions = rules.Sessions();
  for (const DWORD session : sessions) {
    if (rules.IsSessionActive(session)) activeSessions.push_back(session);
  }
  if (!sessions.empty() && activeSessions.empty()) return;

  bool shellInActiveSession = false;
  for (const DWORD shell : rules.ShellProcesses()) {
    DWORD session = 0;
    if (!rules.SessionOfProcess(shell, &session)) continue;
    ProgramLog::Printf(texts::kTryToStartClient, static_cast<int>(session));
    if (!rules.IsSessionActive(session)) continue;
    ProgramLog::Write(texts::kSessionIsActive);
    shellInActiveSession = true;
    if (!launch || launch(kClientCommandLine, session, shell) == 0) return;
  }
  if (shellInActiveSession) return;
  for (const DWORD session : activeSessions) {
    ProgramLog::Printf(texts::kStartClientWithoutShell, static_cast<int>(session));
    if (!launch || launch(kClientCommandLine, session, 0) == 0) return;
  }
}

}  // namespace

HRESULT FindClient(ClientTable& table, const SessionRules& rules, ChosenClient* chosen) {
  return FindClient(table, rules, &LaunchClientInSession, chosen);
}

HRESULT FindClient(ClientTable& table, const SessionRules& rules, const ClientLauncher& launch,
                   ChosenClient* chosen) {
  ChosenClient found;
  if (WalkClients(table, rules, Pass::kConsole, &found) ||
      WalkClients(table, rules, Pass::kTerminal, &found)) {
    if (chosen != nullptr) *chosen = found;
    return 0;
  }
  LaunchClient(rules, launch);
  return kNoClient;
}

HRESULT FindClient(ClientTable& table, ChosenClient* chosen) {
  SessionInspector inspector;
  return FindClient(table, inspector, chosen);
}

}  // namespace zvu
