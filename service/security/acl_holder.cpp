#include "acl_holder.h"

#include <aclapi.h>

namespace zvu {

AclHolder::~AclHolder() {
  FreeAcl();
  FreeSid();
}

void AclHolder::FreeSid() {
  if (sid_ != nullptr) {
    ::FreeSid(sid_);
    sid_ = nullptr;
  }
}

void AclHolder::FreeAcl() {
  if (acl_ != nullptr) {
    LocalFree(acl_);
    acl_ = nullptr;
  }
}

bool AclHolder::BuildSid(SID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount,
                         DWORD subAuthority0, DWORD subAuthority1) {
  FreeSid();
  if (subAuthorityCount < 1 || subAuthorityCount > 2) return false;
  PSID sid = nullptr;
  if (!AllocateAndInitializeSid(&authority, subAuthorityCount, subAuthority0, subAuthority1, 0,
                                0, 0, 0, 0, 0, &sid)) {
    return false;
  }
  sid_ = sid;
  return true;
}

bool AclHolder::BuildAclForSid(DWORD accessMask, ACCESS_MODE mode, DWORD inheritance) {
  FreeAcl();
  if (sid_ == nullptr) return false;
  EXPLICIT_ACCESSA access{};
  access.grfAccessPermissions = accessMask;
  access.grfAccessMode = mode;
  access.grfInheritance = inheritance;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
  access.Trustee.ptstrName = static_cast<LPSTR>(sid_);
  PACL acl = nullptr;
  if (SetEntriesInAclA(1, &access, nullptr, &acl) != ERROR_SUCCESS) return false;
  acl_ = acl;
  return true;
}

}  // namespace zvu
