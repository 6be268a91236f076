#include "grant_duplicate_access.h"

#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acl_holder.h"

namespace {

struct AclSummary {
  bool read = false;
  DWORD aceCount = 0;
  bool firstIsAdministratorsAllow = false;
  DWORD firstMask = 0;
};

AclSummary ReadProcessAcl(HANDLE process) {
  AclSummary summary;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(process, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return summary;
  }
  summary.read = true;
  ACL_SIZE_INFORMATION size{};
  if (dacl != nullptr && GetAclInformation(dacl, &size, sizeof(size), AclSizeInformation)) {
    summary.aceCount = size.AceCount;
    void* ace = nullptr;
    if (size.AceCount > 0 && GetAce(dacl, 0, &ace)) {
      auto* allow = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      BYTE adminsBuffer[SECURITY_MAX_SID_SIZE];
      DWORD adminsSize = sizeof(adminsBuffer);
      CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, adminsBuffer, &adminsSize);
      summary.firstIsAdministratorsAllow = allow->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                                           EqualSid(&allow->SidStart, adminsBuffer);
      summary.firstMask = allow->Mask;
    }
  }
  LocalFree(descriptor);
  return summary;
}

// A suspended copy of this test program: a process of our own to change.
class SuspendedChild {
 public:
  SuspendedChild() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string line = std::string("\"") + path + "\" --gtest_list_tests";
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                   nullptr, &startup, &info_);
  }
  ~SuspendedChild() {
    if (info_.hProcess == nullptr) return;
    TerminateProcess(info_.hProcess, 0);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  DWORD Id() const { return info_.dwProcessId; }
  HANDLE Process() const { return info_.hProcess; }

 private:
  PROCESS_INFORMATION info_{};
};

TEST(GrantDuplicateAccess, LeavesExactlyOneAdministratorsEntryHoweverOftenItRuns) {
  SuspendedChild child;
  ASSERT_NE(child.Process(), nullptr);
  for (int run = 0; run < 3; ++run) {
    ASSERT_EQ(zvu::GrantDuplicateAccess(child.Id()), 0u) << run;
    const AclSummary acl = ReadProcessAcl(child.Process());
    ASSERT_TRUE(acl.read);
    EXPECT_EQ(acl.aceCount, 1u) << run;
    EXPECT_TRUE(acl.firstIsAdministratorsAllow);
    EXPECT_TRUE(acl.firstMask & PROCESS_DUP_HANDLE) << std::hex << acl.firstMask;
  }
}

TEST(GrantDuplicateAccess, OwnProcessCanBeChangedAgainAndAgain) {
  // The registration thread applies it before every pipe instance.
  for (int run = 0; run < 3; ++run) EXPECT_EQ(zvu::GrantDuplicateAccess(GetCurrentProcessId()), 0u);
  const AclSummary acl = ReadProcessAcl(GetCurrentProcess());
  ASSERT_TRUE(acl.read);
  EXPECT_EQ(acl.aceCount, 1u);
}

TEST(GrantDuplicateAccess, ProcessThatCannotBeOpenedGivesSix) {
  EXPECT_EQ(zvu::GrantDuplicateAccess(0xFFFFFFF0u), 6u);
}

TEST(AclHolder, BuildsTheListOnlyForABuiltSid) {
  zvu::AclHolder holder;
  EXPECT_FALSE(holder.BuildAclForSid(GENERIC_READ, SET_ACCESS, NO_INHERITANCE));
  EXPECT_EQ(holder.Acl(), nullptr);
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  ASSERT_TRUE(holder.BuildSid(nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS));
  ASSERT_TRUE(holder.BuildAclForSid(GENERIC_READ, SET_ACCESS, NO_INHERITANCE));
  // Building again replaces (and frees) the earlier ones.
  ASSERT_TRUE(holder.BuildSid(nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS));
  ASSERT_TRUE(holder.BuildAclForSid(GENERIC_READ, SET_ACCESS, NO_INHERITANCE));
  ACL_SIZE_INFORMATION size{};
  ASSERT_TRUE(GetAclInformation(holder.Acl(), &size, sizeof(size), AclSizeInformation));
  EXPECT_EQ(size.AceCount, 1u);
}

}  // namespace
