#include "grant_duplicate_access.h"

#include <aclapi.h>

#include "acl_holder.h"
#include "unique_handle.h"

namespace zvu {

DWORD GrantDuplicateAccess(DWORD processId) {
  UniqueHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId));
  if (!process) return ERROR_INVALID_HANDLE;

  AclHolder holder;
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  if (!holder.BuildSid(ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS)) {
    return 0;
  }
  if (!holder.BuildAclForSid(kAdministratorsProcessAccess, SET_ACCESS, NO_INHERITANCE)) return 0;

  SetSecurityInfo(process.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                  holder.Acl(), nullptr);
  return 0;
}

}  // namespace zvu
