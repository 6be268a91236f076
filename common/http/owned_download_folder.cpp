#include "owned_download_folder.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <new>
#include <vector>

#include "unique_handle.h"

namespace zvu {
namespace {

// One information class of this process's token, in a buffer of its own.
std::vector<BYTE> TokenInformation(TOKEN_INFORMATION_CLASS kind) {
  // GetCurrentProcess() is a pseudo handle with PROCESS_ALL_ACCESS, which
  // includes PROCESS_QUERY_INFORMATION for OpenProcessToken; TokenUser and
  // TokenOwner need TOKEN_QUERY only.
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
  DWORD size = 0;
  GetTokenInformation(token.get(), kind, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<BYTE> buffer(size);
  if (!GetTokenInformation(token.get(), kind, buffer.data(), size, &size)) return {};
  return buffer;
}

PSID UserSidOf(std::vector<BYTE>& tokenUser) {
  return tokenUser.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(tokenUser.data())->User.Sid;
}

PSID OwnerSidOf(std::vector<BYTE>& tokenOwner) {
  return tokenOwner.empty() ? nullptr : reinterpret_cast<TOKEN_OWNER*>(tokenOwner.data())->Owner;
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

FolderOwner QueryFolderOwner(const std::string& folder) {
  try {
    // The folder itself, not what a link or junction leads to: with
    // FILE_FLAG_OPEN_REPARSE_POINT the handle is the reparse point's own.
    // READ_CONTROL lets GetSecurityInfo read the owner; FILE_READ_ATTRIBUTES
    // lets GetFileInformationByHandle read the attributes. Any sharing: this
    // handle only looks.
    UniqueFileHandle handle(CreateFileA(
        folder.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) {
      return IsMissing(GetLastError()) ? FolderOwner::Missing : FolderOwner::Unknown;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle.get(), &information)) return FolderOwner::Unknown;
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return FolderOwner::Other;
    }
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
      return FolderOwner::Unknown;
    }
    const UniqueLocalMemory kept(descriptor);
    if (owner == nullptr) return FolderOwner::Unknown;

    std::vector<BYTE> tokenUser = TokenInformation(TokenUser);
    std::vector<BYTE> tokenOwner = TokenInformation(TokenOwner);
    const PSID user = UserSidOf(tokenUser);
    const PSID defaultOwner = OwnerSidOf(tokenOwner);
    if (user == nullptr) return FolderOwner::Unknown;
    if (EqualSid(owner, user) || (defaultOwner != nullptr && EqualSid(owner, defaultOwner))) {
      return FolderOwner::CurrentUser;
    }
    return FolderOwner::Other;
  } catch (const std::bad_alloc&) {
    return FolderOwner::Unknown;
  }
}

std::string CurrentUserSid() {
  try {
    std::vector<BYTE> tokenUser = TokenInformation(TokenUser);
    const PSID user = UserSidOf(tokenUser);
    char* text = nullptr;
    if (user == nullptr || !ConvertSidToStringSidA(user, &text)) return {};
    const UniqueLocalMemory kept(text);
    return text;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::string PrivateFolderBeside(const std::string& folder, const std::string& userSid) {
  if (folder.empty() || userSid.empty()) return {};
  std::string path = folder;
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path + "-" + userSid;
}

DWORD CreatePrivateFolder(const std::string& folder) {
  try {
    const std::string user = CurrentUserSid();
    if (user.empty()) return ERROR_NO_TOKEN;
    // Owner: the user, also for an elevated administrator, whose objects
    // would otherwise belong to the Administrators group. Protected access
    // list: nothing inherited from the parent (a shared temporary folder may
    // grant others more); full access for the user, LocalSystem and
    // Administrators, passed on to the files and folders inside.
    const std::string sddl = "O:" + user + "D:P(A;OICI;FA;;;" + user + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
      return GetLastError();
    }
    const UniqueLocalMemory kept(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    if (!CreateDirectoryA(folder.c_str(), &attributes)) return GetLastError();
    return ERROR_SUCCESS;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

DownloadFolderChoice ChooseDownloadFolder(const std::string& preferred,
                                          const FolderOwnerQuery& owner) {
  DownloadFolderChoice choice;
  try {
    FolderOwner found = owner(preferred);
    if (found == FolderOwner::Missing) {
      // Another account may create it first: whoever made it, its owner
      // decides below.
      CreatePrivateFolder(preferred);
      found = owner(preferred);
    }
    if (found == FolderOwner::CurrentUser) {
      choice.folder = preferred;
      choice.reason = DownloadFolderReason::Preferred;
      return choice;
    }

    choice.privateFolder = PrivateFolderBeside(preferred, CurrentUserSid());
    if (choice.privateFolder.empty()) return choice;  // NoneOwned
    FolderOwner own = owner(choice.privateFolder);
    if (own == FolderOwner::Missing) {
      CreatePrivateFolder(choice.privateFolder);
      own = owner(choice.privateFolder);
    }
    if (own != FolderOwner::CurrentUser) return choice;  // NoneOwned
    choice.folder = choice.privateFolder;
    choice.reason = found == FolderOwner::Unknown ? DownloadFolderReason::PreferredUnknown
                                                  : DownloadFolderReason::PreferredOther;
    return choice;
  } catch (const std::bad_alloc&) {
    return DownloadFolderChoice{};
  }
}

}  // namespace zvu
