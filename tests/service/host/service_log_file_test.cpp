// The opening of a log at a path where users may create entries: only a
// plain file with one name is used, and a new one gets the service's list.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "log_capture.h"
#include "program_log.h"
#include "registration_pipe_security.h"
#include "temp_files.h"
#include "test_env.h"
#include "update_service.h"

namespace {

using zvu::LogFileFault;
using zvu::LogFileRefusal;
using zvu::ProgramLog;
using zvu::test::ProgramLogCloser;
using zvu::test::ReadWholeFile;

bool IsPlainFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

TEST(ServiceLogFile, AMissingFileIsCreatedAndAnExistingPlainOneUsedAsItIs) {
  const std::string folder = zvu::test::FreshTempFolder("zvu_service_log_plain");
  const std::string path = folder + "\\service.log";
  ProgramLogCloser closer;
  zvu::RegistrationPipeSecurity security(zvu::kServiceLogSddl);
  ASSERT_NE(security.Attributes(), nullptr);

  LogFileRefusal refusal;
  ASSERT_TRUE(ProgramLog::OpenPlainFile(path.c_str(), security.Attributes(), refusal));
  EXPECT_EQ(refusal.fault, LogFileFault::kNone);
  ProgramLog::Write("first run, the longer one\r\n");
  ProgramLog::Close();

  ASSERT_TRUE(ProgramLog::OpenPlainFile(path.c_str(), security.Attributes(), refusal));
  // The existing file is given the service's access list (Wine keeps no
  // list on files and answers with one made from the file's mode, so only
  // the call's success shows here).
  EXPECT_EQ(refusal.listError, 0u) << "the existing file's access list was not renewed";
  ProgramLog::Write("second\r\n");
  ProgramLog::Close();
  EXPECT_EQ(ReadWholeFile(path), "second\r\nn, the longer one\r\n");
  zvu::test::DeleteTree(folder);
}

// A folder (what a user may make in the root of C:) and a file with a second
// name (a hard link, which leads to a file elsewhere) are looked at, named,
// and never written.
TEST(ServiceLogFile, AFolderOrAFileWithTwoNamesIsRefusedAndNotWritten) {
  const std::string folder = zvu::test::FreshTempFolder("zvu_service_log_refused");
  ProgramLogCloser closer;
  zvu::RegistrationPipeSecurity security(zvu::kServiceLogSddl);

  const std::string asFolder = folder + "\\folder.log";
  ASSERT_TRUE(CreateDirectoryA(asFolder.c_str(), nullptr));
  LogFileRefusal refusal;
  EXPECT_FALSE(ProgramLog::OpenPlainFile(asFolder.c_str(), security.Attributes(), refusal));
  EXPECT_EQ(refusal.fault, LogFileFault::kFolder);
  EXPECT_NE(refusal.error, 0u) << "the open's own error is kept";
  EXPECT_FALSE(ProgramLog::IsOpen());
  ProgramLog::Write("nowhere\r\n");
  EXPECT_TRUE(IsPlainFolder(asFolder));
  EXPECT_TRUE(RemoveDirectoryA(asFolder.c_str())) << "only an empty folder can be removed";
  ASSERT_TRUE(CreateDirectoryA(asFolder.c_str(), nullptr));

  const std::string target = folder + "\\elsewhere.txt";
  const std::string linked = folder + "\\linked.log";
  ASSERT_TRUE(zvu::test::WriteBytes(target, "someone else's file\r\n"));
  ASSERT_TRUE(CreateHardLinkA(linked.c_str(), target.c_str(), nullptr));
  EXPECT_FALSE(ProgramLog::OpenPlainFile(linked.c_str(), security.Attributes(), refusal));
  EXPECT_EQ(refusal.fault, LogFileFault::kLinked);
  EXPECT_EQ(refusal.links, 2u);
  EXPECT_FALSE(ProgramLog::IsOpen());
  ProgramLog::Write("nowhere either\r\n");
  EXPECT_EQ(ReadWholeFile(target), "someone else's file\r\n");

  // An earlier log left open stops being written as well.
  const std::string plain = folder + "\\plain.log";
  ASSERT_TRUE(ProgramLog::OpenPlainFile(plain.c_str(), security.Attributes(), refusal));
  EXPECT_FALSE(ProgramLog::OpenPlainFile(asFolder.c_str(), security.Attributes(), refusal));
  ProgramLog::Write("not into the earlier log\r\n");
  EXPECT_EQ(ReadWholeFile(plain), "");
  zvu::test::DeleteTree(folder);
}

TEST(ServiceLogFile, TheEntryItselfDecidesAJunctionNotWhatItLeadsTo) {
  // A junction or mount point is a folder that is a reparse point; a
  // symbolic link to a file is a file that is one. Both are named as reparse
  // points (Wine cannot make either through the file system; see
  // service_scm_test.sh for what it shows of a link).
  EXPECT_EQ(zvu::ClassifyLogFile(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, 1),
            LogFileFault::kReparsePoint);
  EXPECT_EQ(zvu::ClassifyLogFile(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, 1),
            LogFileFault::kReparsePoint);
  EXPECT_EQ(zvu::ClassifyLogFile(FILE_ATTRIBUTE_ARCHIVE, 1), LogFileFault::kNone);
  EXPECT_EQ(zvu::ClassifyLogFile(FILE_ATTRIBUTE_NORMAL, 3), LogFileFault::kLinked);
}

// Wine keeps no access list on files, so the list a new log gets is read
// back from the descriptor the service creates it with.
TEST(ServiceLogFile, ANewLogLetsOnlyLocalSystemAndAdministratorsChangeIt) {
  zvu::RegistrationPipeSecurity security(zvu::kServiceLogSddl);
  ASSERT_NE(security.Attributes(), nullptr);
  PSECURITY_DESCRIPTOR descriptor = security.Attributes()->lpSecurityDescriptor;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "nothing inherited from the root of C:";
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present);
  ASSERT_NE(dacl, nullptr);
  ASSERT_EQ(dacl->AceCount, 3u);

  struct Expected {
    WELL_KNOWN_SID_TYPE who;
    ACCESS_MASK mask;
  };
  const Expected expected[] = {{WinLocalSystemSid, FILE_ALL_ACCESS},
                               {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                               {WinBuiltinUsersSid, FILE_GENERIC_READ}};
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* entry = nullptr;
    ASSERT_TRUE(GetAce(dacl, index, &entry));
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(allowed->Header.AceFlags, 0) << "a file passes nothing on";
    EXPECT_TRUE(IsWellKnownSid(const_cast<DWORD*>(&allowed->SidStart), expected[index].who))
        << "entry " << index;
    EXPECT_EQ(allowed->Mask, expected[index].mask) << "entry " << index;
  }
  const ACCESS_MASK changes = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                              FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER;
  EXPECT_EQ(FILE_GENERIC_READ & changes, 0u) << "users may read, not write";
}

}  // namespace
