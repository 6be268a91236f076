#pragma once

#include <windows.h>

#include <memory>
#include <mutex>

#include "client_table.h"
#include "registration_pipe_instance.h"
#include "registration_system.h"
#include "unique_handle.h"

namespace zvu {

// What the registration thread shares with the rest of the service. Held
// by shared ownership so that it outlives whichever side ends last.
struct RegistrationState {
  explicit RegistrationState(DWORD serviceProcessIdIn,
                             PipeInstanceFactory createInstanceIn = &CreateRegistrationPipeInstance,
                             std::shared_ptr<RegistrationSystem> systemIn =
                                 std::make_shared<SystemRegistration>())
      : stopEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        firstInstanceTried(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        serviceProcessId(serviceProcessIdIn),
        createInstance(createInstanceIn),
        system(std::move(systemIn)) {}

  ClientTable table;
  UniqueHandle stopEvent;  // manual reset; set to end the thread
  // Manual reset; set once the thread has tried to create its first pipe
  // instance, so that the service reports itself running only when clients
  // can find the pipe.
  UniqueHandle firstInstanceTried;
  DWORD serviceProcessId;
  PipeInstanceFactory createInstance;
  // The calls the registration checks are made of (see CheckAndRegister).
  std::shared_ptr<RegistrationSystem> system;
  // Held while a registration is checked and entered, so that exchanges
  // served at the same time cannot both claim one handle.
  std::mutex registering;
};

// How long a connected client may take to complete its registration before
// its pipe instance is dropped for the next client.
inline constexpr DWORD kRegistrationExchangeTimeoutMs = 5000;

// How many connected clients are served at the same time. A peer that
// connects and then sends nothing holds its instance until the time-out
// above; meanwhile the next instance takes other clients.
inline constexpr size_t kMaxConcurrentExchanges = 32;

// While no pipe instance can be created, the thread tries again after a
// pause that starts here and doubles up to the limit.
inline constexpr DWORD kInstanceRetryFirstMs = 250;
inline constexpr DWORD kInstanceRetryLimitMs = 5000;

// The registration thread's body: waits for a client on one pipe instance
// after another and enters each valid registration into state.table, until
// the stop event is set. Each connected instance is served on a thread of
// its own (up to kMaxConcurrentExchanges at once) while the next instance
// waits for the next client; every connection is logged with its outcome. A pipe instance that cannot be created does not end it: while it
// has none it tries again with a growing pause; when only the next instance
// cannot be created, the current one serves the next client again.
//
// A registration is checked and entered by CheckAndRegister: a client whose
// Administrators group is enabled may name a handle it duplicated into the
// service; any other value is taken as a handle of the client's own process,
// which the service copies itself once it has seen that the process runs as
// the pipe's client. A refusal is logged with the check that failed.
//
// Returns, once every exchange it started has ended, the error of the last
// failed instance creation when no instance was created after it, else 0.
DWORD RegisterClient(RegistrationState& state);

}  // namespace zvu
