// The service's own folders: the access list they get, read back, and the
// folders someone else made, which the service does not use. Wine 8 keeps
// no access list or owner that is set on a file: it reads back one made from
// the Unix mode bits (owner the Wine user; local system and that user full
// control). So the checks of foreign owners and lists run on descriptors
// built in memory, and the folders' own list is read back as far as Wine
// shows it.

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ansi_text.h"
#include "log_capture.h"
#include "service_folders.h"
#include "service_install_job.h"
#include "temp_files.h"
#include "test_env.h"
#include "unique_handle.h"

namespace {

using zvu::TrustedFolder;

std::wstring SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return {};
  std::wstring result = text;
  LocalFree(text);
  return result;
}

struct ReadBack {
  DWORD error = 0;
  std::wstring owner;
  bool protectedList = false;
  struct Entry {
    BYTE type;
    BYTE flags;
    ACCESS_MASK mask;
    std::wstring sid;
  };
  std::vector<Entry> entries;
};

ReadBack ReadSecurity(const std::string& path) {
  ReadBack result;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  result.error = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                                       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                       &owner, nullptr, &dacl, nullptr, &descriptor);
  if (result.error != ERROR_SUCCESS) return result;
  const zvu::UniqueLocalMemory owned(descriptor);
  result.owner = SidText(owner);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  result.protectedList = (control & SE_DACL_PROTECTED) != 0;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* raw = nullptr;
    if (!GetAce(dacl, i, &raw)) break;
    auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    result.entries.push_back({entry->Header.AceType, entry->Header.AceFlags, entry->Mask,
                              SidText(&entry->SidStart)});
  }
  return result;
}

// Creates a folder with the descriptor given in SDDL.
bool CreateWithSddl(const std::string& path, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return false;
  }
  const zvu::UniqueLocalMemory owned(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  return CreateDirectoryW(zvu::Widen(path).c_str(), &attributes) != FALSE;
}

class ServiceFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = zvu::test::FreshTempFolder("zvu_service_folders_root");
    ownSid_ = zvu::OwnAccountSid();
    ASSERT_FALSE(ownSid_.empty());
  }
  void TearDown() override { zvu::test::DeleteTree(root_); }

  std::string Company() const { return root_ + "\\Zelko"; }
  std::string Product() const { return Company() + "\\VuroUpdate"; }
  std::string Downloads() const { return Product() + "\\Downloads"; }
  bool Open(TrustedFolder& folder) {
    return folder.Open(zvu::Widen(root_), zvu::kServiceDownloadsFolder);
  }

  std::string root_;
  std::wstring ownSid_;
};

// A descriptor from SDDL with its owner and list.
struct Descriptor {
  explicit Descriptor(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &raw,
                                                              nullptr)) {
      return;
    }
    memory.reset(raw);
    BOOL flag = FALSE;
    GetSecurityDescriptorOwner(raw, &owner, &flag);
    GetSecurityDescriptorDacl(raw, &flag, &dacl, &flag);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(raw, &control, &revision);
    protectedList = (control & SE_DACL_PROTECTED) != 0;
  }
  zvu::UniqueLocalMemory memory;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  bool protectedList = false;
};

// The descriptor every level is created with: exactly local system and the
// administrators (and the test's own account, standing in for local system).
TEST_F(ServiceFolders, CreationListIsProtectedAndForSystemAndAdministratorsOnly) {
  const Descriptor descriptor(zvu::ServiceFolderSddl(ownSid_).c_str());
  ASSERT_TRUE(descriptor.memory);
  EXPECT_TRUE(descriptor.protectedList);
  ASSERT_NE(descriptor.dacl, nullptr);

  std::vector<std::wstring> expected = {L"S-1-5-18", L"S-1-5-32-544"};
  if (ownSid_ != L"S-1-5-18") expected.push_back(ownSid_);
  ASSERT_EQ(descriptor.dacl->AceCount, expected.size());
  for (DWORD i = 0; i < descriptor.dacl->AceCount; ++i) {
    void* raw = nullptr;
    ASSERT_TRUE(GetAce(descriptor.dacl, i, &raw));
    auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    EXPECT_EQ(entry->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(entry->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(entry->Mask, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
    EXPECT_EQ(SidText(&entry->SidStart), expected[i]);
  }
  // Local system itself is named once.
  EXPECT_EQ(zvu::ServiceFolderSddl(L"S-1-5-18"), L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
}

TEST_F(ServiceFolders, CreatedLevelsReadBackTrusted) {
  zvu::test::LogCapture log("zvu_service_folders_created.log");
  TrustedFolder folder;
  ASSERT_TRUE(Open(folder)) << log.Text();
  EXPECT_EQ(folder.Path(), Downloads());
  for (const std::string& level : {Company(), Product(), Downloads()}) {
    const ReadBack security = ReadSecurity(level);
    ASSERT_EQ(security.error, 0u) << level;
    EXPECT_TRUE(security.owner == L"S-1-5-18" || security.owner == L"S-1-5-32-544" ||
                security.owner == ownSid_)
        << level;
    for (const auto& entry : security.entries) {
      const bool trusted =
          entry.sid == L"S-1-5-18" || entry.sid == L"S-1-5-32-544" || entry.sid == ownSid_;
      EXPECT_TRUE(trusted || entry.type != ACCESS_ALLOWED_ACE_TYPE ||
                  (entry.mask & zvu::kFolderChangeRights) == 0)
          << level << " grants " << zvu::Narrow(entry.sid);
    }
    // Where the system keeps the list as set (Windows), it is exactly ours.
    if (security.protectedList) {
      EXPECT_EQ(security.entries.size(), ownSid_ == L"S-1-5-18" ? 2u : 3u) << level;
    }
  }
  EXPECT_TRUE(log.Text().empty()) << log.Text();

  // A second use finds the same folders trusted.
  TrustedFolder again;
  EXPECT_TRUE(Open(again)) << log.Text();
}

// Owners and lists of folders someone else made first, and what the refusal
// record says of them.
struct Foreign {
  const wchar_t* sddl;
  zvu::FolderTrust trust;
  const char* reason;
};

class ForeignSecurity : public ServiceFolders, public ::testing::WithParamInterface<Foreign> {};

TEST_P(ForeignSecurity, IsNotTrusted) {
  const Descriptor descriptor(GetParam().sddl);
  ASSERT_TRUE(descriptor.memory);
  const zvu::FolderCheck check = zvu::CheckFolderSecurity(descriptor.owner, descriptor.dacl, ownSid_);
  EXPECT_EQ(check.trust, GetParam().trust);
  EXPECT_EQ(zvu::FolderRefusalReason(check), GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptors, ForeignSecurity,
    ::testing::Values(
        // What a folder made below ProgramData inherits there: users may add to it.
        Foreign{L"O:SYD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;CI;0x116;;;BU)",
                zvu::FolderTrust::kWideAccess,
                "access list lets S-1-5-32-545 write (mask 0x00000116)"},
        // A user made it first, and so owns it: the owner may rewrite any list.
        Foreign{L"O:S-1-5-21-1111-2222-3333-1001D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                zvu::FolderTrust::kForeignOwner,
                "owned by S-1-5-21-1111-2222-3333-1001, not local system or administrators"},
        // Everyone may change what is put in it later (an entry for children only).
        Foreign{L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;WD)",
                zvu::FolderTrust::kWideAccess, "access list lets S-1-1-0 write (mask 0x10000000)"},
        // Users may delete entries in it, or rewrite its list.
        Foreign{L"O:SYD:P(A;;0x40;;;BU)", zvu::FolderTrust::kWideAccess,
                "access list lets S-1-5-32-545 write (mask 0x00000040)"},
        Foreign{L"O:SYD:P(A;;WD;;;IU)", zvu::FolderTrust::kWideAccess,
                "access list lets S-1-5-4 write (mask 0x00040000)"}));

// No access list at all: everyone has full control. (Wine's SDDL reader
// makes an empty list of "D:NO_ACCESS_CONTROL", so the list is left out here.)
TEST_F(ServiceFolders, MissingListIsNotTrusted) {
  const Descriptor system(L"O:SY");
  ASSERT_TRUE(system.memory);
  const zvu::FolderCheck check = zvu::CheckFolderSecurity(system.owner, nullptr, ownSid_);
  EXPECT_EQ(check.trust, zvu::FolderTrust::kNoAccessList);
  EXPECT_EQ(zvu::FolderRefusalReason(check), "it has no access list (everyone full control)");
}

TEST_F(ServiceFolders, DenialsAndReadingRightsForOthersAreTrusted) {
  for (const wchar_t* sddl :
       {L"O:SYD:P(D;OICI;FA;;;BU)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;WD)",
        L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", L"O:SYD:P"}) {
    const Descriptor descriptor(sddl);
    ASSERT_TRUE(descriptor.memory);
    EXPECT_EQ(zvu::CheckFolderSecurity(descriptor.owner, descriptor.dacl, ownSid_).trust,
              zvu::FolderTrust::kTrusted)
        << zvu::Narrow(sddl);
  }
}

TEST_F(ServiceFolders, FileInPlaceOfAFolderIsNotUsed) {
  zvu::test::LogCapture log("zvu_service_folders_file.log");
  ASSERT_TRUE(CreateWithSddl(Company(), zvu::ServiceFolderSddl(ownSid_).c_str()));
  ASSERT_TRUE(CreateWithSddl(Product(), zvu::ServiceFolderSddl(ownSid_).c_str()));
  ASSERT_TRUE(zvu::test::WriteBytes(Downloads(), "a file"));
  TrustedFolder folder;
  EXPECT_FALSE(Open(folder));
  EXPECT_TRUE(folder.Path().empty());
  EXPECT_EQ(log.Count("Service install folder " + Downloads() + " not used: it is no folder"), 1u)
      << log.Text();
  // Its owner is trusted (an administrator's, not a user's): it stays where it is.
  EXPECT_EQ(zvu::test::ReadWholeFile(Downloads()), "a file");
  EXPECT_EQ(log.Count("moved aside"), 0u) << log.Text();

  // An installation refuses to start there: nothing is fetched into it.
  zvu::UpdateEntry entry;
  entry.name = "Alpha";
  entry.url = "http://" ZVU_TEST_UPDATE_HOST "/files/never.exe";
  entry.sha256 = std::string(64, '0');
  zvu::ServiceInstallSettings settings;
  settings.root = zvu::Widen(root_);
  struct : zvu::ServiceInstallProgress {
    void Received(uint64_t, uint64_t) override { ++calls; }
    void Installing() override { ++calls; }
    int calls = 0;
  } progress;
  EXPECT_EQ(zvu::InstallVerifiedUpdate(entry, progress, settings),
            zvu::ServiceInstallOutcome::kFolderUnsafe);
  EXPECT_EQ(progress.calls, 0);
}

// Every level stays held while the folder is used: none can be renamed away
// (and something else put in its place) between the check and the use.
TEST_F(ServiceFolders, HeldLevelsCannotBeRenamed) {
  zvu::test::LogCapture log("zvu_service_folders_held.log");
  {
    TrustedFolder folder;
    ASSERT_TRUE(Open(folder)) << log.Text();
    for (const std::string& level : {Company(), Product(), Downloads()}) {
      EXPECT_FALSE(MoveFileExA(level.c_str(), (level + ".renamed").c_str(), 0)) << level;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << level;
    }
  }
  // Released, they can.
  EXPECT_TRUE(MoveFileExA(Downloads().c_str(), (Downloads() + ".renamed").c_str(), 0))
      << GetLastError();
}

// Levels a user made first. Wine reports an entry of another Unix user as
// owned by another account (S-1-5-7); the test environment's setup leaves
// such entries below <env>\users-folders (see CMakeLists.txt):
//   made-first\Zelko                    a folder with planted.txt in it
//   held\Zelko                          a folder
//   file-leaf\Zelko\VuroUpdate\Downloads a file (the levels above are the
//                                       test's own)
class UsersFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = zvu::test::EnvDirWindows();
    if (base_.empty()) GTEST_SKIP() << "runs in the test environment only";
    base_ += "\\users-folders";
    ownSid_ = zvu::OwnAccountSid();
  }

  // The names in folder that begin with prefix.
  static std::vector<std::string> Entries(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "\\" + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
  }

  // The planted entry is there and another account owns it.
  void ExpectUsers(const std::string& path) {
    const ReadBack security = ReadSecurity(path);
    ASSERT_EQ(security.error, 0u) << path << ": the test environment did not plant it";
    ASSERT_FALSE(security.owner.empty());
    ASSERT_NE(security.owner, ownSid_) << path;
  }

  std::string base_;
  std::wstring ownSid_;
};

TEST_F(UsersFolders, AreMovedAsideUntouchedAndMadeAnew) {
  zvu::test::LogCapture log("zvu_service_folders_users.log");
  const std::string root = base_ + "\\made-first";
  ExpectUsers(root + "\\Zelko");

  TrustedFolder folder;
  ASSERT_TRUE(folder.Open(zvu::Widen(root), zvu::kServiceDownloadsFolder)) << log.Text();
  EXPECT_EQ(folder.Path(), root + "\\Zelko\\VuroUpdate\\Downloads");

  // The user's folder is kept whole under a new name beside the new one.
  const auto aside = Entries(root, "Zelko.untrusted-{");
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(zvu::test::ReadWholeFile(root + "\\" + aside[0] + "\\planted.txt"), "planted\n");
  EXPECT_FALSE(zvu::test::FileExists(root + "\\Zelko\\planted.txt"));
  EXPECT_EQ(ReadSecurity(root + "\\Zelko").owner, ownSid_);
  EXPECT_EQ(log.Count("Service install folder " + root + "\\Zelko moved aside to " + root +
                      "\\" + aside[0] + " (owned by "),
            1u)
      << log.Text();
  EXPECT_EQ(log.Count("not used"), 0u) << log.Text();

  // A file a user put in place of the last level goes the same way.
  const std::string leafRoot = base_ + "\\file-leaf";
  const std::string product = leafRoot + "\\Zelko\\VuroUpdate";
  ExpectUsers(product + "\\Downloads");
  TrustedFolder leaf;
  ASSERT_TRUE(leaf.Open(zvu::Widen(leafRoot), zvu::kServiceDownloadsFolder)) << log.Text();
  const auto movedFile = Entries(product, "Downloads.untrusted-{");
  ASSERT_EQ(movedFile.size(), 1u);
  EXPECT_EQ(zvu::test::ReadWholeFile(product + "\\" + movedFile[0]), "planted\n");
  EXPECT_EQ(GetFileAttributesA((product + "\\Downloads").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

// A user who holds their folder open keeps it from being moved: the service
// refuses for as long (and does not try again and again).
TEST_F(UsersFolders, HeldOpenIsRefusedUntilReleased) {
  zvu::test::LogCapture log("zvu_service_folders_users_held.log");
  const std::string root = base_ + "\\held";
  const std::string zelko = root + "\\Zelko";
  ExpectUsers(zelko);
  {
    zvu::UniqueFileHandle hold(CreateFileA(zelko.c_str(), FILE_LIST_DIRECTORY,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(hold);
    TrustedFolder folder;
    EXPECT_FALSE(folder.Open(zvu::Widen(root), zvu::kServiceDownloadsFolder));
    EXPECT_EQ(log.Count("Service install folder " + zelko + " not moved aside (owned by "), 1u)
        << log.Text();
    EXPECT_EQ(log.Count(") Err:32"), 1u) << log.Text();
    EXPECT_EQ(log.Count("Service install folder " + zelko + " not used: owned by "), 1u)
        << log.Text();
    EXPECT_TRUE(Entries(root, "Zelko.untrusted-").empty());
  }
  TrustedFolder folder;
  EXPECT_TRUE(folder.Open(zvu::Widen(root), zvu::kServiceDownloadsFolder)) << log.Text();
  EXPECT_EQ(Entries(root, "Zelko.untrusted-").size(), 1u);
}

// The machine's own folder, as the service uses it.
TEST(ServiceFoldersOfTheMachine, AreMadeBelowProgramData) {
  zvu::test::LogCapture log("zvu_service_folders_machine.log");
  const zvu::ServiceInstallSettings settings = zvu::DefaultServiceInstallSettings();
  ASSERT_FALSE(settings.root.empty());
  TrustedFolder downloads;
  ASSERT_TRUE(downloads.Open(settings.root, zvu::kServiceDownloadsFolder)) << log.Text();
  EXPECT_EQ(downloads.Path(), zvu::Narrow(settings.root) + "\\Zelko\\VuroUpdate\\Downloads");
  TrustedFolder logs;
  EXPECT_TRUE(logs.Open(settings.root, zvu::kServiceLogsFolder)) << log.Text();
}

}  // namespace
