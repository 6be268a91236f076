#include "installer_digest.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "temp_files.h"
#include "test_env.h"

namespace {

using zvu::DigestVerdict;
using zvu::test::FileExists;
using zvu::test::TempFilePath;
using zvu::test::WriteBytes;

constexpr char kAbcDigest[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(InstallerDigest, ComputesTheStandardDigestsAcrossReadChunks) {
  const std::string path = TempFilePath("zvu-digest-vectors.bin");
  std::string digest;

  ASSERT_TRUE(WriteBytes(path, "abc"));
  ASSERT_TRUE(zvu::ComputeFileSha256(path, digest));
  EXPECT_EQ(digest, kAbcDigest);

  ASSERT_TRUE(WriteBytes(path, ""));
  ASSERT_TRUE(zvu::ComputeFileSha256(path, digest));
  EXPECT_EQ(digest, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

  // One million 'a': many reads, the last one partial.
  ASSERT_TRUE(WriteBytes(path, std::string(1000000, 'a')));
  ASSERT_TRUE(zvu::ComputeFileSha256(path, digest));
  EXPECT_EQ(digest, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

  DeleteFileA(path.c_str());
  EXPECT_FALSE(zvu::ComputeFileSha256(path, digest));
  EXPECT_EQ(digest, "");
}

TEST(InstallerDigest, MatchingFileMayRunWhateverTheLetterCase) {
  const std::string path = TempFilePath("zvu-digest-match.msi");
  ASSERT_TRUE(WriteBytes(path, "abc"));
  std::string upper = kAbcDigest;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));

  for (const std::string& listed : {std::string(kAbcDigest), upper}) {
    const zvu::DigestCheck check = zvu::VerifyInstallerDigest(path, listed);
    EXPECT_EQ(check.verdict, DigestVerdict::Match) << listed;
    EXPECT_TRUE(check.MayRun());
    EXPECT_EQ(check.computed, kAbcDigest);
    EXPECT_FALSE(check.deleted);
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(zvu::DigestFailureRecord("Alpha", listed, check), "");
  }
  DeleteFileA(path.c_str());
}

TEST(InstallerDigest, NoListedDigestLeavesTheFileUnchecked) {
  const std::string path = TempFilePath("zvu-digest-none.msi");
  ASSERT_TRUE(WriteBytes(path, "anything"));
  zvu::DigestCheck check = zvu::VerifyInstallerDigest(path, "");
  EXPECT_EQ(check.verdict, DigestVerdict::NotListed);
  EXPECT_TRUE(check.MayRun());
  EXPECT_EQ(check.computed, "");
  EXPECT_TRUE(check.held.IsHeld());  // held all the same, until it has started
  EXPECT_TRUE(FileExists(path));
  check.held.Release();
  DeleteFileA(path.c_str());
}

TEST(InstallerDigest, OneChangedByteDeletesTheFileAndTheRecordShowsBothDigests) {
  const std::string path = TempFilePath("zvu-digest-changed.msi");
  ASSERT_TRUE(WriteBytes(path, "abd"));
  const zvu::DigestCheck check = zvu::VerifyInstallerDigest(path, kAbcDigest);
  EXPECT_EQ(check.verdict, DigestVerdict::Mismatch);
  EXPECT_FALSE(check.MayRun());
  EXPECT_EQ(check.computed.size(), 64u);
  EXPECT_NE(check.computed, kAbcDigest);
  EXPECT_TRUE(check.deleted);
  EXPECT_FALSE(FileExists(path));

  EXPECT_EQ(zvu::DigestFailureRecord("Alpha", kAbcDigest, check),
            "Installer of Alpha rejected: expected sha256 " + std::string(kAbcDigest) +
                ", computed " + check.computed + "; file deleted, not run\r\n");
}

TEST(InstallerDigest, MalformedListedDigestFailsClosed) {
  const std::string path = TempFilePath("zvu-digest-malformed.msi");
  const std::string digest = kAbcDigest;
  for (const std::string& listed :
       {digest.substr(1), digest + "0", std::string(" ") + digest, digest + "\n",
        std::string("g") + digest.substr(1),
        std::string("sha256:") + digest, std::string("x")}) {
    ASSERT_TRUE(WriteBytes(path, "abc"));
    const zvu::DigestCheck check = zvu::VerifyInstallerDigest(path, listed);
    EXPECT_EQ(check.verdict, DigestVerdict::Malformed) << listed;
    EXPECT_FALSE(check.MayRun());
    EXPECT_EQ(check.computed, kAbcDigest);  // still computed, for the log
    EXPECT_FALSE(FileExists(path)) << listed;
  }
}

TEST(InstallerDigest, UnreadableFileFailsAndTheRecordCannotBeForged) {
  const std::string path = TempFilePath("zvu-digest-missing.msi");
  const std::string listed = "bad\r\nInstallation completed successfully" + std::string(100, 'z');
  const zvu::DigestCheck check = zvu::VerifyInstallerDigest(path, listed);
  EXPECT_EQ(check.verdict, DigestVerdict::Unreadable);
  EXPECT_FALSE(check.MayRun());

  const std::string record = zvu::DigestFailureRecord("Alpha", listed, check);
  EXPECT_EQ(record.find('\n'), record.size() - 1) << record;  // one line only
  EXPECT_NE(record.find("expected sha256 bad??Installation"), std::string::npos) << record;
  EXPECT_NE(record.find("...,"), std::string::npos) << record;  // cut short
  EXPECT_NE(record.find("computed none (file unreadable)"), std::string::npos) << record;
}

// From the check on, the installer that may run cannot be written, renamed,
// deleted or replaced; it can still be read. A rejected one is not held.
TEST(InstallerDigest, CheckedInstallerIsHeldUntilReleased) {
  const std::string path = TempFilePath("zvu-digest-held.msi");
  const std::string elsewhere = TempFilePath("zvu-digest-moved.msi");
  const std::string other = TempFilePath("zvu-digest-other.msi");
  ASSERT_TRUE(WriteBytes(path, "abc"));
  ASSERT_TRUE(WriteBytes(other, "abd"));
  zvu::DigestCheck check = zvu::VerifyInstallerDigest(path, kAbcDigest);
  ASSERT_EQ(check.verdict, DigestVerdict::Match);
  ASSERT_TRUE(check.held.IsHeld());

  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                              FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileA(path.c_str(), elsewhere.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileExA(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(CopyFileA(other.c_str(), path.c_str(), FALSE));
  EXPECT_EQ(zvu::test::ReadWholeFile(path), "abc");

  check.held.Release();
  EXPECT_TRUE(DeleteFileA(path.c_str()));

  ASSERT_TRUE(WriteBytes(path, "abd"));
  const zvu::DigestCheck rejected = zvu::VerifyInstallerDigest(path, kAbcDigest);
  EXPECT_FALSE(rejected.held.IsHeld());
  EXPECT_TRUE(rejected.deleted);
  DeleteFileA(other.c_str());
}

}  // namespace
