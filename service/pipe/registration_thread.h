#pragma once

#include <windows.h>

#include "client_table.h"
#include "unique_handle.h"

namespace zvu {

// What the registration thread shares with the rest of the service. Held
// by shared ownership so that it outlives whichever side ends last.
struct RegistrationState {
  explicit RegistrationState(DWORD serviceProcessIdIn)
      : stopEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        firstInstanceTried(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        serviceProcessId(serviceProcessIdIn) {}

  ClientTable table;
  UniqueHandle stopEvent;  // manual reset; set to end the thread
  // Manual reset; set once the thread has tried to create its first pipe
  // instance, so that the service reports itself running only when clients
  // can find the pipe.
  UniqueHandle firstInstanceTried;
  DWORD serviceProcessId;
};

// How long a connected client may take to complete its registration before
// its pipe instance is dropped for the next client.
inline constexpr DWORD kRegistrationExchangeTimeoutMs = 5000;

// The registration thread's body: serves one pipe instance after another
// and enters each valid registration into state.table. Returns when the
// stop event is set or a pipe instance cannot be created.
DWORD RegisterClient(RegistrationState& state);

}  // namespace zvu
