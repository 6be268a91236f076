#include "grant_duplicate_access.h"

#include <aclapi.h>

#include "acl_holder.h"
#include "unique_handle.h"

namespace zvu {

DWORD GrantDuplicateAccess(DWORD processId) {
  // Only the right to change the list is asked for: once the list is in
  // place it no longer grants all access, so asking for that would fail
  // from the second run on. The own process needs no opening at all.
  UniqueHandle opened;
  HANDLE process = GetCurrentProcess();
  if (processId != GetCurrentProcessId()) {
    opened.reset(OpenProcess(READ_CONTROL | WRITE_DAC, FALSE, processId));
    if (!opened) return ERROR_INVALID_HANDLE;
    process = opened.get();
  }

  AclHolder holder;
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  if (!holder.BuildSid(ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS)) {
    return 0;
  }
  if (!holder.BuildAclForSid(kAdministratorsProcessAccess, SET_ACCESS, NO_INHERITANCE)) return 0;

  SetSecurityInfo(process, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                  holder.Acl(), nullptr);
  return 0;
}

}  // namespace zvu
