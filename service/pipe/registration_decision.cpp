#include "registration_decision.h"

#include <new>

#include "registration_check.h"

namespace zvu {
namespace {

RegistrationVerdict Refused(RegistrationCheck check, DWORD error = 0) { return {check, error}; }

RegistrationVerdict Decide(ClientTable& table, RegistrationSystem& system, DWORD serviceProcessId,
                           HANDLE pipe, DWORD connectedProcessId, DWORD claimedProcessId,
                           HANDLE value) {
  // A client speaks only for itself.
  if (connectedProcessId != 0 && claimedProcessId != connectedProcessId) {
    return Refused(RegistrationCheck::kOtherProcess);
  }
  if (claimedProcessId == 0 || claimedProcessId == serviceProcessId) {
    return Refused(RegistrationCheck::kNoProcess);
  }

  TokenFacts client;
  if (const DWORD error = system.IdentifyPipeClient(pipe, &client); error != 0) {
    return Refused(RegistrationCheck::kNotIdentified, error);
  }

  UniqueHandle process;
  if (const DWORD error = system.OpenClaimedProcess(claimedProcessId, &process); error != 0) {
    return Refused(RegistrationCheck::kProcessNotOpened, error);
  }
  if (system.HasEnded(process.get())) return Refused(RegistrationCheck::kProcessEnded);

  if (client.administrator && IsAcceptableHandle(table, pipe, claimedProcessId, value)) {
    table.InsertOrReplace(claimedProcessId, value);
    return {RegistrationCheck::kAccepted, 0};
  }

  // The value as a handle of the client's own process. Without the pipe's
  // word on who connected, it cannot be tied to that process.
  if (connectedProcessId == 0) return Refused(RegistrationCheck::kOtherProcess);
  TokenFacts owner;
  if (const DWORD error = system.ReadProcessToken(process.get(), &owner); error != 0) {
    return Refused(RegistrationCheck::kTokenNotRead, error);
  }
  if (!SameUser(owner, client)) return Refused(RegistrationCheck::kOtherUser);
  if (owner.integrityLevel > client.integrityLevel) {
    return Refused(RegistrationCheck::kHigherIntegrity);
  }
  UniqueHandle copy;
  if (const DWORD error = system.CopyHandle(process.get(), value, &copy); error != 0) {
    return Refused(RegistrationCheck::kHandleNotCopied, error);
  }
  if (!IsAcceptableHandle(table, pipe, claimedProcessId, copy.get())) {
    return Refused(RegistrationCheck::kNoWriteEnd);  // the copy is closed here
  }
  table.InsertOrReplace(claimedProcessId, copy.release());
  return {RegistrationCheck::kAccepted, 0};
}

}  // namespace

RegistrationVerdict CheckAndRegister(ClientTable& table, RegistrationSystem& system,
                                     DWORD serviceProcessId, HANDLE pipe,
                                     DWORD connectedProcessId, DWORD claimedProcessId,
                                     HANDLE value) {
  try {
    return Decide(table, system, serviceProcessId, pipe, connectedProcessId, claimedProcessId,
                  value);
  } catch (const std::bad_alloc&) {
    return Refused(RegistrationCheck::kNotIdentified, ERROR_NOT_ENOUGH_MEMORY);
  }
}

}  // namespace zvu
