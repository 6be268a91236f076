#pragma once

#include <windows.h>

#include <vector>

namespace zvu {

// What the choice of a client needs to know about processes and sessions.
class SessionRules {
 public:
  virtual ~SessionRules() = default;
  // The session of a process; false when it cannot be read.
  virtual bool SessionOfProcess(DWORD processId, DWORD* sessionId) const;
  // The ids of the running "explorer.exe" processes in snapshot order, from
  // the names and ids of a process snapshot alone: no process is opened.
  virtual std::vector<DWORD> ShellProcesses() const;
  // The sessions of the machine; empty when they cannot be listed.
  virtual std::vector<DWORD> Sessions() const;
  virtual bool IsSessionActive(DWORD sessionId) const = 0;
  virtual bool IsConsoleSession(DWORD sessionId) const = 0;
};

// A workstation, or a server with the terminal-server suite.
bool IsTerminalServicesSystem(BYTE productType, WORD suiteMask);

// The answers drawn from a terminal-services query. A failed query, or one
// that reports the session as unknown (ERROR_CTX_WINSTATION_NOT_FOUND),
// counts as active and as console: a system without running terminal
// services has only its console.
bool SessionActiveFromQuery(bool querySucceeded, DWORD lastError, DWORD connectState);
bool ConsoleFromQuery(bool querySucceeded, DWORD lastError, USHORT protocolType);

// The system's own answers; created for each choice of a client.
class SessionInspector : public SessionRules {
 public:
  // Reads the product type and suite mask of the running system.
  SessionInspector();
  explicit SessionInspector(bool terminalServicesAware);

  bool IsTerminalServicesAware() const { return terminalServicesAware_; }
  bool IsSessionActive(DWORD sessionId) const override;
  bool IsConsoleSession(DWORD sessionId) const override;

 private:
  bool terminalServicesAware_;
};

}  // namespace zvu
