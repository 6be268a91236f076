#pragma once

#include <windows.h>

#include <vector>

#include "unique_handle.h"

namespace zvu {

// What a token says about whom it stands for, as far as a registration asks.
struct TokenFacts {
  std::vector<BYTE> userSid;   // a copy of the token's user SID
  DWORD integrityLevel = 0;    // the last sub-authority of its mandatory label
  bool administrator = false;  // the Administrators group is present and enabled
};

// Reads the user and integrity level of token (TOKEN_QUERY), and, when
// askAdministrator, whether the Administrators group is enabled in it, which
// only an impersonation token can answer. 0 or the Windows error.
DWORD ReadTokenFacts(HANDLE token, bool askAdministrator, TokenFacts* facts);

// Whether the two name the same user.
bool SameUser(const TokenFacts& a, const TokenFacts& b);

// The system calls a registration's checks are made of. The checks call them
// in their order through this interface, so that a stand-in can answer them
// and see which were made.
class RegistrationSystem {
 public:
  virtual ~RegistrationSystem() = default;

  // The facts of the token of the pipe instance's connected client, at
  // identification level, which is all the client needs to allow. 0 or the
  // Windows error.
  virtual DWORD IdentifyPipeClient(HANDLE pipe, TokenFacts* facts) = 0;
  // Opens the claimed process once, with PROCESS_QUERY_LIMITED_INFORMATION |
  // PROCESS_DUP_HANDLE; every later step uses this handle. 0 or the error.
  virtual DWORD OpenClaimedProcess(DWORD processId, UniqueHandle* process) = 0;
  // Whether the opened process has ended.
  virtual bool HasEnded(HANDLE process) = 0;
  // The facts of the opened process's own token. 0 or the error.
  virtual DWORD ReadProcessToken(HANDLE process, TokenFacts* facts) = 0;
  // The service's own copy, with the same access, of the handle that value
  // names in the opened process. 0 or the error.
  virtual DWORD CopyHandle(HANDLE process, HANDLE value, UniqueHandle* copy) = 0;
};

// The calls as Windows makes them.
class SystemRegistration : public RegistrationSystem {
 public:
  // How long the identification may take before the registration is refused.
  static constexpr DWORD kIdentificationLimitMs = 5000;

  DWORD IdentifyPipeClient(HANDLE pipe, TokenFacts* facts) override;
  DWORD OpenClaimedProcess(DWORD processId, UniqueHandle* process) override;
  bool HasEnded(HANDLE process) override;
  DWORD ReadProcessToken(HANDLE process, TokenFacts* facts) override;
  DWORD CopyHandle(HANDLE process, HANDLE value, UniqueHandle* copy) override;

 private:
  DWORD Identify(HANDLE pipe, TokenFacts* facts);
};

}  // namespace zvu
