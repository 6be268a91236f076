#include "client_finder.h"

#include <cstring>

#include "client_launcher.h"
#include "process_list.h"
#include "program_log.h"
#include "unique_handle.h"

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
        ProgramLog::Printf("error open console process Err:%d session:%d PID: %d hProces:%d\r\n",
                           error, static_cast<int>(session), static_cast<int>(entry.processId), 0);
      } else {
        ProgramLog::Printf(
            "error open terminal process Err:%d session:%d PID: %d hproces:%d h\r\n", error,
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
      ProgramLog::Printf("client found in console session:%d PID: %d \r\n",
                         static_cast<int>(session), static_cast<int>(entry.processId));
    } else {
      ProgramLog::Printf("client found in terminal session:%d PID: %d \r\n",
                         static_cast<int>(session), static_cast<int>(entry.processId));
    }
    chosen->processId = entry.processId;
    chosen->pipe = entry.pipe;
    return true;
  }
  return false;
}

void LaunchInFirstActiveShell(const SessionRules& rules) {
  ProcessList processes;
  for (size_t i = 0; i < processes.Count(); ++i) {
    const std::optional<ProcessRecord> record = processes.At(i);
    if (!record || std::strcmp(record->ExeFile(), "explorer.exe") != 0) continue;
    DWORD session = 0;
    if (!rules.SessionOfProcess(record->ProcessId(), &session)) continue;
    ProgramLog::Printf("Try to start proces in WinlogonSession:%d \r\n", static_cast<int>(session));
    if (!rules.IsSessionActive(session)) continue;
    ProgramLog::Write("Sesion is active \r\n");
    if (LaunchClientInSession(kClientCommandLine, session, record->ProcessId()) == 0) break;
  }
}

}  // namespace

HRESULT FindClient(ClientTable& table, const SessionRules& rules, ChosenClient* chosen) {
  ChosenClient found;
  if (WalkClients(table, rules, Pass::kConsole, &found) ||
      WalkClients(table, rules, Pass::kTerminal, &found)) {
    if (chosen != nullptr) *chosen = found;
    return 0;
  }
  LaunchInFirstActiveShell(rules);
  return kNoClient;
}

HRESULT FindClient(ClientTable& table, ChosenClient* chosen) {
  SessionInspector inspector;
  return FindClient(table, inspector, chosen);
}

}  // namespace zvu
