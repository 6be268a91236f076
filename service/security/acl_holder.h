#pragma once

#include <windows.h>
#include <accctrl.h>

namespace zvu {

// Owns a SID built from an identifier authority and sub-authorities and an
// access-control list built from explicit-access entries. Either may be
// missing; the destructor frees whichever exists.
class AclHolder {
 public:
  AclHolder() = default;
  ~AclHolder();
  AclHolder(const AclHolder&) = delete;
  AclHolder& operator=(const AclHolder&) = delete;

  // Builds the SID (replacing an earlier one). Returns false on failure.
  bool BuildSid(SID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount,
                DWORD subAuthority0, DWORD subAuthority1 = 0);
  // Builds a new list holding exactly one entry that grants or sets
  // accessMask for the holder's SID (a group trustee). Requires the SID.
  bool BuildAclForSid(DWORD accessMask, ACCESS_MODE mode, DWORD inheritance);

  PSID Sid() const { return sid_; }
  PACL Acl() const { return acl_; }

 private:
  void FreeSid();
  void FreeAcl();

  PSID sid_ = nullptr;
  PACL acl_ = nullptr;
};

}  // namespace zvu
