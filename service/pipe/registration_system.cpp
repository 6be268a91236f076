#include "registration_system.h"

#include <memory>
#include <new>

namespace zvu {
namespace {

// One piece of token information, sized as the token asks. 0 or the error.
DWORD QueryToken(HANDLE token, TOKEN_INFORMATION_CLASS which, std::vector<BYTE>* buffer) {
  DWORD size = 0;
  GetTokenInformation(token, which, nullptr, 0, &size);
  if (size == 0) return GetLastError() != 0 ? GetLastError() : ERROR_INVALID_DATA;
  buffer->assign(size, 0);
  if (!GetTokenInformation(token, which, buffer->data(), size, &size)) return GetLastError();
  return 0;
}

// The identification of a pipe's client, run on a thread of its own: the
// thread takes on the client's token, and a thread that could not give it
// back ends with it rather than go on as the client. The waiting side may
// give up on it; the shared part then lives until the thread has ended.
struct Identification {
  UniqueHandle pipe;  // the thread's own handle of the instance
  TokenFacts facts;
  DWORD error = ERROR_GEN_FAILURE;
};

DWORD WINAPI IdentifyOnOwnThread(void* parameter) {
  std::unique_ptr<std::shared_ptr<Identification>> owned(
      static_cast<std::shared_ptr<Identification>*>(parameter));
  Identification& identification = **owned;
  if (!ImpersonateNamedPipeClient(identification.pipe.get())) {
    identification.error = GetLastError();
    return 0;
  }
  TokenFacts facts;
  DWORD error = 0;
  HANDLE token = nullptr;
  // Opened as the service (OpenAsSelf): the client's token may be at
  // identification level, under which nothing can be opened.
  if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    try {
      error = ReadTokenFacts(token, true, &facts);
    } catch (const std::bad_alloc&) {
      error = ERROR_NOT_ENOUGH_MEMORY;
    }
    CloseHandle(token);
  } else {
    error = GetLastError();
  }
  if (!RevertToSelf()) {
    // Still the client: nothing more is done on this thread, which ends now
    // and takes the client's token with it.
    const DWORD revertError = GetLastError();
    identification.error = revertError != 0 ? revertError : ERROR_GEN_FAILURE;
    return 0;
  }
  identification.facts = std::move(facts);
  identification.error = error;
  return 0;
}

}  // namespace

DWORD ReadTokenFacts(HANDLE token, bool askAdministrator, TokenFacts* facts) {
  TokenFacts read;
  std::vector<BYTE> buffer;
  DWORD error = QueryToken(token, TokenUser, &buffer);
  if (error != 0) return error;
  const PSID user = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
  if (!IsValidSid(user)) return ERROR_INVALID_SID;
  read.userSid.assign(static_cast<const BYTE*>(user),
                      static_cast<const BYTE*>(user) + GetLengthSid(user));

  error = QueryToken(token, TokenIntegrityLevel, &buffer);
  if (error != 0) return error;
  const PSID label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
  if (!IsValidSid(label) || *GetSidSubAuthorityCount(label) == 0) return ERROR_INVALID_SID;
  read.integrityLevel = *GetSidSubAuthority(label, *GetSidSubAuthorityCount(label) - 1);

  if (askAdministrator) {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size)) {
      return GetLastError();
    }
    // Counts only an enabled group: a filtered administrator's token holds
    // the group for denying only.
    BOOL member = FALSE;
    if (!CheckTokenMembership(token, administrators, &member)) return GetLastError();
    read.administrator = member != FALSE;
  }
  *facts = std::move(read);
  return 0;
}

bool SameUser(const TokenFacts& a, const TokenFacts& b) {
  if (a.userSid.empty() || b.userSid.empty()) return false;
  return EqualSid(const_cast<BYTE*>(a.userSid.data()), const_cast<BYTE*>(b.userSid.data())) != FALSE;
}

DWORD SystemRegistration::IdentifyPipeClient(HANDLE pipe, TokenFacts* facts) {
  try {
    return Identify(pipe, facts);
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

DWORD SystemRegistration::Identify(HANDLE pipe, TokenFacts* facts) {
  auto identification = std::make_shared<Identification>();
  HANDLE own = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), pipe, GetCurrentProcess(), &own, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return GetLastError();
  }
  identification->pipe.reset(own);
  auto* parameter = new std::shared_ptr<Identification>(identification);
  UniqueHandle thread(CreateThread(nullptr, 0, &IdentifyOnOwnThread, parameter, 0, nullptr));
  if (!thread) {
    const DWORD error = GetLastError();
    delete parameter;
    return error;
  }
  if (WaitForSingleObject(thread.get(), kIdentificationLimitMs) != WAIT_OBJECT_0) {
    return ERROR_TIMEOUT;
  }
  if (identification->error != 0) return identification->error;
  *facts = std::move(identification->facts);
  return 0;
}

DWORD SystemRegistration::OpenClaimedProcess(DWORD processId, UniqueHandle* process) {
  process->reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_DUP_HANDLE, FALSE, processId));
  return *process ? 0 : GetLastError();
}

bool SystemRegistration::HasEnded(HANDLE process) {
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process, &exitCode)) return true;
  return exitCode != STILL_ACTIVE;
}

DWORD SystemRegistration::ReadProcessToken(HANDLE process, TokenFacts* facts) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return GetLastError();
  UniqueHandle owned(token);
  return ReadTokenFacts(token, false, facts);
}

DWORD SystemRegistration::CopyHandle(HANDLE process, HANDLE value, UniqueHandle* copy) {
  HANDLE copied = nullptr;
  if (!DuplicateHandle(process, value, GetCurrentProcess(), &copied, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return GetLastError();
  }
  copy->reset(copied);
  return 0;
}

}  // namespace zvu
