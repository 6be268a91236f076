#include "owned_download_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "temp_files.h"
#include "unique_handle.h"

namespace {

using zvu::ChooseDownloadFolder;
using zvu::DownloadFolderReason;
using zvu::FolderOwner;

// Makes sid the owner of path; the Windows error.
DWORD SetOwner(const std::string& path, WELL_KNOWN_SID_TYPE sidType) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof sid;
  if (!CreateWellKnownSid(sidType, nullptr, sid, &size)) return GetLastError();
  std::vector<char> name(path.begin(), path.end());
  name.push_back('\0');
  return SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, sid,
                               nullptr, nullptr, nullptr);
}

TEST(OwnedDownloadFolder, FoldersOfTheUserCountAndFilesOrMissingOnesDoNot) {
  const std::string base = zvu::test::FreshTempFolder("zvu owned folders");
  EXPECT_EQ(zvu::QueryFolderOwner(base), FolderOwner::CurrentUser);
  EXPECT_EQ(zvu::QueryFolderOwner(base + "\\missing"), FolderOwner::Missing);
  ASSERT_TRUE(zvu::test::WriteBytes(base + "\\a file", "x"));
  EXPECT_EQ(zvu::QueryFolderOwner(base + "\\a file"), FolderOwner::Other);
}

// Whether Wine keeps an owner other than the user depends on the file
// system keeping Wine's security attributes; where it does, such a folder
// is another account's.
TEST(OwnedDownloadFolder, FolderOwnedByLocalSystemIsAnotherAccounts) {
  const std::string folder = zvu::test::FreshTempFolder("zvu system's folder");
  ASSERT_EQ(SetOwner(folder, WinLocalSystemSid), static_cast<DWORD>(ERROR_SUCCESS));
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::vector<char> name(folder.begin(), folder.end());
  name.push_back('\0');
  ASSERT_EQ(GetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                  nullptr, nullptr, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const zvu::UniqueLocalMemory kept(descriptor);
  if (!IsWellKnownSid(owner, WinLocalSystemSid)) {
    GTEST_SKIP() << "Wine did not keep the owner on this file system";
  }
  EXPECT_EQ(zvu::QueryFolderOwner(folder), FolderOwner::Other);

  // The choice then falls to the private folder beside it, made for the user.
  const zvu::DownloadFolderChoice choice = ChooseDownloadFolder(folder);
  EXPECT_EQ(choice.reason, DownloadFolderReason::PreferredOther);
  EXPECT_EQ(choice.folder, folder + "-" + zvu::CurrentUserSid());
  EXPECT_EQ(zvu::QueryFolderOwner(choice.folder), FolderOwner::CurrentUser);
  RemoveDirectoryA(choice.folder.c_str());
}

// The private folder: owned by the user, an access list of its own that
// names only the user, LocalSystem and Administrators, passed on to what it
// holds and not widened by the parent's.
TEST(OwnedDownloadFolder, PrivateFolderIsTheUsersAlone) {
  const std::string base = zvu::test::FreshTempFolder("zvu private folder");
  const std::string folder = zvu::PrivateFolderBeside(base + "\\zelko updates\\", "S-1-5-21-1");
  EXPECT_EQ(folder, base + "\\zelko updates-S-1-5-21-1");
  EXPECT_EQ(zvu::PrivateFolderBeside(base, ""), "");

  const std::string mine = base + "\\mine";
  ASSERT_EQ(zvu::CreatePrivateFolder(mine), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(zvu::CreatePrivateFolder(mine), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  std::vector<char> name(mine.begin(), mine.end());
  name.push_back('\0');
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, nullptr, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const zvu::UniqueLocalMemory kept(descriptor);
  char* sddl = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
      descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &sddl,
      nullptr));
  const zvu::UniqueLocalMemory keptText(sddl);
  const std::string user = zvu::CurrentUserSid();
  ASSERT_FALSE(user.empty());
  EXPECT_EQ(zvu::QueryFolderOwner(mine), FolderOwner::CurrentUser);
  const std::string read = sddl;
  EXPECT_EQ(read.substr(0, read.find("D:")), "O:" + user);
  // Where the file system keeps no security attributes, Wine makes up an
  // unprotected list of LocalSystem and the user for every file.
  if (read.find("D:P") == std::string::npos) {
    GTEST_SKIP() << "Wine did not keep the access list on this file system: " << read;
  }
  EXPECT_EQ(read, "O:" + user + "D:P(A;OICI;FA;;;" + user + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
}

// The decision, with the owners a Windows machine would report.
class FolderChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = zvu::test::FreshTempFolder("zvu folder choice");
    preferred_ = base_ + "\\zelko updates";
    private_ = preferred_ + "-" + zvu::CurrentUserSid();
  }
  // Owners as set in owners_; a folder not listed is asked of the system.
  zvu::FolderOwnerQuery Owners() {
    return [this](const std::string& folder) {
      asked_.push_back(folder);
      const auto found = owners_.find(folder);
      return found != owners_.end() ? found->second : zvu::QueryFolderOwner(folder);
    };
  }
  std::string base_, preferred_, private_;
  std::map<std::string, FolderOwner> owners_;
  std::vector<std::string> asked_;
};

TEST_F(FolderChoice, UsersOwnOrMissingPreferredFolderIsUsed) {
  zvu::DownloadFolderChoice choice = ChooseDownloadFolder(preferred_, Owners());
  EXPECT_EQ(choice.reason, DownloadFolderReason::Preferred);
  EXPECT_EQ(choice.folder, preferred_);
  EXPECT_EQ(zvu::QueryFolderOwner(preferred_), FolderOwner::CurrentUser);  // created
  EXPECT_FALSE(zvu::test::FileExists(private_));

  choice = ChooseDownloadFolder(preferred_, Owners());
  EXPECT_EQ(choice.folder, preferred_);
}

TEST_F(FolderChoice, AnotherAccountsFolderLeadsToThePrivateOne) {
  for (FolderOwner foreign : {FolderOwner::Other, FolderOwner::Unknown}) {
    owners_[preferred_] = foreign;
    const zvu::DownloadFolderChoice choice = ChooseDownloadFolder(preferred_, Owners());
    EXPECT_EQ(choice.reason, foreign == FolderOwner::Other ? DownloadFolderReason::PreferredOther
                                                           : DownloadFolderReason::PreferredUnknown);
    EXPECT_EQ(choice.folder, private_);
    EXPECT_EQ(choice.privateFolder, private_);
    EXPECT_EQ(zvu::QueryFolderOwner(private_), FolderOwner::CurrentUser);
    EXPECT_FALSE(zvu::test::FileExists(preferred_));  // not created: it "exists"
  }
}

TEST_F(FolderChoice, FolderMadeByAnotherAccountBeforeTheClientIsNotUsed) {
  // Missing when first asked, another account's once created (it won the race).
  int asks = 0;
  const zvu::DownloadFolderChoice choice =
      ChooseDownloadFolder(preferred_, [&](const std::string& folder) {
        if (folder == preferred_) return ++asks == 1 ? FolderOwner::Missing : FolderOwner::Other;
        return zvu::QueryFolderOwner(folder);
      });
  EXPECT_EQ(asks, 2);
  EXPECT_EQ(choice.reason, DownloadFolderReason::PreferredOther);
  EXPECT_EQ(choice.folder, private_);
}

TEST_F(FolderChoice, NoFolderWhenThePrivateOneIsAnotherAccountsToo) {
  owners_[preferred_] = FolderOwner::Other;
  owners_[private_] = FolderOwner::Other;
  const zvu::DownloadFolderChoice choice = ChooseDownloadFolder(preferred_, Owners());
  EXPECT_EQ(choice.reason, DownloadFolderReason::NoneOwned);
  EXPECT_EQ(choice.folder, "");
  EXPECT_EQ(choice.privateFolder, private_);
  EXPECT_FALSE(zvu::test::FileExists(private_));
}

}  // namespace
