#include "shell_token_check.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "unique_handle.h"

namespace {

using zvu::CheckShellToken;
using zvu::ShellTokenVerdict;

std::vector<BYTE> WellKnown(WELL_KNOWN_SID_TYPE type) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  EXPECT_TRUE(CreateWellKnownSid(type, nullptr, sid.data(), &size));
  sid.resize(size);
  return sid;
}

// A user of a machine or a domain: S-1-5-21-<machine>-1001.
std::vector<BYTE> AccountUser() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID sid = nullptr;
  EXPECT_TRUE(AllocateAndInitializeSid(&nt, 5, SECURITY_NT_NON_UNIQUE, 111, 222, 333, 1001, 0,
                                       0, 0, &sid));
  const BYTE* first = static_cast<const BYTE*>(sid);
  std::vector<BYTE> copy(first, first + GetLengthSid(sid));
  FreeSid(sid);
  return copy;
}

// The process that a shell's id names when it is opened may be another one
// since the snapshot: only a token of the shell's session that stands for
// no service account passes.
TEST(ShellTokenCheck, OnlyAUsersTokenOfTheShellsSessionPasses) {
  std::vector<BYTE> user = AccountUser();
  EXPECT_EQ(CheckShellToken(3, 3, user.data()), ShellTokenVerdict::kAccepted);
  EXPECT_EQ(CheckShellToken(0, 0, user.data()), ShellTokenVerdict::kAccepted);
  EXPECT_EQ(CheckShellToken(3, 4, user.data()), ShellTokenVerdict::kOtherSession);
  EXPECT_EQ(CheckShellToken(3, 0, user.data()), ShellTokenVerdict::kOtherSession);

  // winlogon or consent.exe in the user's own session, and the other two
  // service accounts, whatever their session.
  for (const WELL_KNOWN_SID_TYPE account :
       {WinLocalSystemSid, WinLocalServiceSid, WinNetworkServiceSid}) {
    SCOPED_TRACE(account);
    std::vector<BYTE> sid = WellKnown(account);
    EXPECT_EQ(CheckShellToken(3, 3, sid.data()), ShellTokenVerdict::kServiceAccount);
    EXPECT_EQ(CheckShellToken(3, 0, sid.data()), ShellTokenVerdict::kServiceAccount);
  }
  // Groups and other accounts that are not service accounts are judged by
  // the session alone (the administrator's own shell passes).
  std::vector<BYTE> administrators = WellKnown(WinBuiltinAdministratorsSid);
  EXPECT_EQ(CheckShellToken(3, 3, administrators.data()), ShellTokenVerdict::kAccepted);

  EXPECT_EQ(CheckShellToken(3, 3, nullptr), ShellTokenVerdict::kUserNotValid);
  std::vector<BYTE> broken = user;
  broken[0] = 9;  // a revision no SID has
  EXPECT_EQ(CheckShellToken(3, 3, broken.data()), ShellTokenVerdict::kUserNotValid);
}

// The facts come from a token opened with TOKEN_QUERY alone, as the
// documentation asks of both classes; this program's own token is of its own
// session and of its user, and passes.
TEST(ShellTokenCheck, ReadsSessionAndUserWithQueryRightOnly) {
  zvu::UniqueHandle token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()));
  zvu::ShellTokenFacts facts;
  ASSERT_EQ(zvu::ReadShellTokenFacts(token.get(), &facts), 0u);
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  EXPECT_EQ(facts.sessionId, session);
  ASSERT_FALSE(facts.userSid.empty());
  EXPECT_EQ(CheckShellToken(session, facts.sessionId, facts.userSid.data()),
            ShellTokenVerdict::kAccepted);

  // Without the query right nothing is read.
  zvu::UniqueHandle noQuery;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, noQuery.put()));
  EXPECT_EQ(zvu::ReadShellTokenFacts(noQuery.get(), &facts), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
