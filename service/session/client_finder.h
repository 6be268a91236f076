#pragma once

#include <windows.h>

#include <functional>

#include "client_table.h"
#include "session_inspector.h"

namespace zvu {

inline constexpr HRESULT kNoClient = E_FAIL;

struct ChosenClient {
  DWORD processId = 0;
  HANDLE pipe = nullptr;
};

// Chooses the client that receives a catalogue: the first registered client
// still running in an active console session, else the first in any active
// session. Entries of clients that have ended, or whose process id names
// no process any more, are removed and their handles closed. When none
// qualifies, starts the client program in the session of the first
// "explorer.exe" whose session is active (trying the next one when a start
// fails); the shells are found from a process snapshot's names and ids, and
// only they are opened. Where no shell runs in an active session, starts it
// as the user of the first active session that has one. When the sessions
// can be listed and none is active, nothing is looked for or started.
// Returns 0 with *chosen filled, or kNoClient (also when a client was
// started; it registers itself later).
HRESULT FindClient(ClientTable& table, const SessionRules& rules, ChosenClient* chosen);
// The same with the system's own session rules.
HRESULT FindClient(ClientTable& table, ChosenClient* chosen);

// Starts the client program: command line, target session, shell process id
// (0: none, the session's user token is used); 0 on success (see
// LaunchClientInSession).
using ClientLauncher = std::function<DWORD(const char* commandLine, DWORD sessionId,
                                           DWORD shellProcessId)>;
// As above, starting the client through launch (null: nobody is started).
HRESULT FindClient(ClientTable& table, const SessionRules& rules, const ClientLauncher& launch,
                   ChosenClient* chosen);

}  // namespace zvu
