#include "install_requester.h"

#include <sddl.h>

#include <new>
#include <vector>

#include "unique_handle.h"

namespace zvu {
namespace {

// Whether the well-known group is present and enabled in the token (an
// impersonation token, as CheckTokenMembership requires).
bool HasEnabledSid(HANDLE token, WELL_KNOWN_SID_TYPE type) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(sid);
  if (!CreateWellKnownSid(type, nullptr, sid, &size)) return false;
  BOOL member = FALSE;
  return CheckTokenMembership(token, sid, &member) && member;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  return IsWellKnownSid(sid, type) != FALSE;
}

// DOMAIN\user, else the SID's string form. Runs as the service itself.
std::string AccountName(PSID sid) {
  char name[256];
  char domain[256];
  DWORD nameSize = sizeof(name);
  DWORD domainSize = sizeof(domain);
  SID_NAME_USE use;
  if (LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
    return domainSize > 0 ? std::string(domain) + "\\" + name : std::string(name);
  }
  LPSTR text = nullptr;
  if (ConvertSidToStringSidA(sid, &text)) {
    UniqueLocalMemory owned(text);
    return text;
  }
  return "?";
}

}  // namespace

IdentifyOutcome IdentifyRequester(HANDLE pipe, InstallRequester* requester, DWORD* error) {
  *error = 0;
  if (!ImpersonateNamedPipeClient(pipe)) {
    *error = GetLastError();
    return IdentifyOutcome::kNotIdentified;
  }
  // Everything up to RevertToSelf only reads the token: nothing is done in
  // the client's name. OpenAsSelf: the token is opened with the service's
  // own rights, as an identification-level token could not open it.
  std::vector<BYTE> user;
  bool read = false;
  UniqueHandle token;
  if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size >= sizeof(TOKEN_USER)) {
      // Out of memory here must not leave this function before the revert:
      // the thread would go on in the client's identity.
      try {
        user.resize(size);
        read = GetTokenInformation(token.get(), TokenUser, user.data(), size, &size) != FALSE;
      } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      }
    }
    if (read) {
      requester->interactive = HasEnabledSid(token.get(), WinInteractiveSid);
      requester->administrator = HasEnabledSid(token.get(), WinBuiltinAdministratorsSid);
    }
  }
  if (!read) *error = GetLastError();
  if (!RevertToSelf()) {
    *error = GetLastError();
    return IdentifyOutcome::kRevertFailed;
  }
  if (!read) return IdentifyOutcome::kNotIdentified;
  PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  if (IsWellKnown(sid, WinLocalSystemSid)) requester->administrator = true;
  requester->account = AccountName(sid);
  return IdentifyOutcome::kIdentified;
}

}  // namespace zvu
