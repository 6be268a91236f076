#include "client_finder.h"

#include <cstring>

#include "client_launcher.h"
#include "process_list.h"
#include "program_log.h"
#include "unique_handle.h"
#include "service_texts.h"

namespace zvu {
namespace {

enum class Pass { kConsole, kTerminal };

// One walk over the registered clients. Returns true with *chosen set when
// a client qualifies for this pass.
bool WalkClients(ClientTable& table, const SessionRules& rules, Pass pass, ChosenClient* chosen) {
  for (const ClientTable::Entry& entry : table.Entries()) {
    DWORD session = 0;
    if (!rules.SessionOfProcess(entry.processId, &session)) continue;
    UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.processId));
    if (!process) {
      const int error = static_cast<int>(GetLastError());
      if (pass == Pass::kConsole) {
        ProgramLog::Printf(texts::kOpenConsoleProcessFailed,
                           error, static_cast<int>(session), static_cast<int>(entry.processId), 0);
      } else {
        ProgramLog::Printf(texts::kOpenTerminalProcessFailed, error,
            static_cast<int>(session), static_cast<int>(entry.processId), 0);
      }
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

void LaunchInFirstActiveShell(const SessionRules& rules, const ClientLauncher& launch) {
  ProcessList processes;
  for (size_t i = 0; i < processes.Count(); ++i) {
    const std::optional<ProcessRecord> record = processes.At(i);
    if (!record || std::strcmp(record->ExeFile(), "explorer.exe") != 0) continue;
    DWORD session = 0;
    if (!rules.SessionOfProcess(record->ProcessId(), &session)) continue;
    ProgramLog::Printf(texts::kTryToStartClient, static_cast<int>(session));
    if (!rules.IsSessionActive(session)) continue;
    ProgramLog::Write(texts::kSessionIsActive);
    if (!launch || launch(kClientCommandLine, session, record->ProcessId()) == 0) break;
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
  LaunchInFirstActiveShell(rules, launch);
  return kNoClient;
}

HRESULT FindClient(ClientTable& table, ChosenClient* chosen) {
  SessionInspector inspector;
  return FindClient(table, inspector, chosen);
}

}  // namespace zvu
