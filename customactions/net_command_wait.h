#pragma once

#include <windows.h>
#include <msi.h>

namespace zvu::hooks {

// How long StartW3Progress waits for "net start w3svc" before it logs so and
// goes on: net itself waits for as long as the service keeps promising to
// start, which a hung web server may do for ever.
constexpr DWORD kStartProgressBoundMs = 3 * 60 * 1000;

// Waits for the net command, stepping the progress bar in ever longer
// intervals, for at most boundMs; then fills the bar. Logs net's exit code
// when it ended, or that the wait gave up.
void WaitWithStartProgress(MSIHANDLE session, HANDLE process, DWORD boundMs);

// Whether the process ended within waitMs.
bool ProcessEnded(HANDLE process, DWORD waitMs);

// Logs the exit code of a net command that has ended.
void LogNetExitCode(HANDLE process);

}  // namespace zvu::hooks
