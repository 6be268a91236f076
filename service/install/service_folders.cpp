#include "service_folders.h"

#include <aclapi.h>
#include <sddl.h>
#include <objbase.h>
#include <shlobj.h>

#include <new>

#include "ansi_text.h"
#include "format_text.h"
#include "program_log.h"
#include "service_texts.h"

namespace zvu {
namespace {

std::wstring SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (sid == nullptr || !ConvertSidToStringSidW(sid, &text)) return {};
  const UniqueLocalMemory owned(text);
  return text;
}

std::string NarrowSidText(PSID sid) {
  const std::string text = Narrow(SidText(sid));
  return text.empty() ? std::string(texts::kFolderUnknownAccount) : text;
}

// Local system, the administrators, or the service's own account.
bool IsTrustedSid(PSID sid, const std::wstring& ownSid) {
  if (sid == nullptr || !IsValidSid(sid)) return false;
  if (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) {
    return true;
  }
  return !ownSid.empty() && SidText(sid) == ownSid;
}

std::wstring Join(const std::wstring& folder, const wchar_t* name) {
  if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
  return folder + L'\\' + name;
}

// The path in the ANSI code page, only when it converts back unchanged.
bool ExactAnsi(const std::wstring& path, std::string& ansi) {
  std::wstring back;
  return WideToAnsi(path, ansi) && AnsiToWide(ansi, back) && back == path;
}

void LogRefusal(const std::wstring& folder, const std::string& reason) {
  ProgramLog::Printf(texts::kInstallFolderRefused, Narrow(folder).c_str(), reason.c_str());
}

// Creates the folder with the service's access list unless it exists.
// 0, or the error of the creation.
DWORD CreateServiceFolder(const std::wstring& path, const std::wstring& ownSid) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(ServiceFolderSddl(ownSid).c_str(),
                                                            SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return GetLastError();
  }
  const UniqueLocalMemory owned(descriptor);
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = descriptor;
  attributes.bInheritHandle = FALSE;
  if (CreateDirectoryW(path.c_str(), &attributes)) return 0;
  const DWORD error = GetLastError();
  // An existing folder is checked like one made here; whoever made it.
  return error == ERROR_ALREADY_EXISTS ? 0 : error;
}

// Opens a level for its check and to hold it while it is used. Not following
// a reparse point: the check is of this very entry. FILE_TRAVERSE makes the
// handle take part in sharing (a handle with only READ_CONTROL and
// FILE_READ_ATTRIBUTES does not): with no FILE_SHARE_DELETE, no one can open
// the level for deletion, and so neither rename nor delete it, while it is
// held.
UniqueFileHandle OpenLevel(const std::wstring& path) {
  return UniqueFileHandle(CreateFileW(
      path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_TRAVERSE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Whether a level that failed its check was made by an account the service
// does not trust: its owner is another account, or its list does not even
// let local system open it (every folder that the system, an administrator's
// tools or this service make below the program data folder grants local
// system full control). Such a level is no one's but a user's, and the
// service may move it out of its way.
bool IsUsersLevel(const UniqueFileHandle& level, DWORD openError, const std::wstring& ownSid) {
  if (!level) return openError == ERROR_ACCESS_DENIED;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(level.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const UniqueLocalMemory owned(descriptor);
  return !IsTrustedSid(owner, ownSid);
}

// Renames the entry at path (whatever it is: folder, file, junction or link;
// a rename moves the entry itself, never what a link points to) to
// "<name>.untrusted-<new GUID>" in the same folder, where no one can have
// made an entry of that name before. Nothing below it is read, changed or
// deleted. 0 and the new path, or the error.
DWORD MoveLevelAside(const std::wstring& path, std::wstring& aside) {
  GUID unique{};
  wchar_t text[64] = {};
  const HRESULT made = CoCreateGuid(&unique);
  if (FAILED(made)) return static_cast<DWORD>(made);
  if (StringFromGUID2(unique, text, 64) == 0) return ERROR_INSUFFICIENT_BUFFER;
  aside = path + L".untrusted-" + text;
  // No MOVEFILE_REPLACE_EXISTING, no MOVEFILE_COPY_ALLOWED: a rename within
  // the folder, or nothing.
  if (!MoveFileExW(path.c_str(), aside.c_str(), 0)) return GetLastError();
  return 0;
}

}  // namespace

std::wstring ProgramDataFolder() {
  PWSTR path = nullptr;
  const HRESULT result = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path);
  std::wstring folder;
  if (SUCCEEDED(result) && path != nullptr) folder = path;
  CoTaskMemFree(path);  // freed whether or not the call succeeded
  return folder;
}

std::wstring OwnAccountSid() {
  HANDLE rawToken = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return {};
  const UniqueHandle token(rawToken);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return {};
  try {
    std::vector<unsigned char> buffer(size);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    return SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::wstring ServiceFolderSddl(const std::wstring& ownSid) {
  // P: nothing inherited from the parent (ProgramData lets users create
  // files and folders below it). OICI: files and folders below get the same.
  std::wstring sddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  if (!ownSid.empty() && ownSid != L"S-1-5-18") sddl += L"(A;OICI;FA;;;" + ownSid + L")";
  return sddl;
}

FolderCheck CheckFolderHandle(HANDLE folder, const std::wstring& ownSid) {
  FolderCheck check;
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(folder, &information)) {
    check.trust = FolderTrust::kSecurityNotRead;
    check.error = GetLastError();
    return check;
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    check.trust = FolderTrust::kReparsePoint;
    return check;
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    check.trust = FolderTrust::kNoFolder;
    return check;
  }

  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error =
      GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                      &owner, nullptr, &dacl, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) {
    check.trust = FolderTrust::kSecurityNotRead;
    check.error = error;
    return check;
  }
  const UniqueLocalMemory owned(descriptor);
  return CheckFolderSecurity(owner, dacl, ownSid);
}

FolderCheck CheckFolderSecurity(PSID owner, PACL dacl, const std::wstring& ownSid) {
  FolderCheck check;
  // The owner may always rewrite the access list, whatever it says.
  if (!IsTrustedSid(owner, ownSid)) {
    check.trust = FolderTrust::kForeignOwner;
    check.who = NarrowSidText(owner);
    return check;
  }
  if (dacl == nullptr) {
    check.trust = FolderTrust::kNoAccessList;
    return check;
  }
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* entry = nullptr;
    if (!GetAce(dacl, index, &entry)) {
      check.trust = FolderTrust::kSecurityNotRead;
      check.error = GetLastError();
      return check;
    }
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    // Every kind of entry starts with its header and its access mask.
    const ACCESS_MASK mask = static_cast<const ACCESS_ALLOWED_ACE*>(entry)->Mask;
    switch (header->AceType) {
      case ACCESS_DENIED_ACE_TYPE:
      case ACCESS_DENIED_OBJECT_ACE_TYPE:
      case ACCESS_DENIED_CALLBACK_ACE_TYPE:
      case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
        continue;  // a denial takes nothing away from the check
      case ACCESS_ALLOWED_ACE_TYPE: {
        // Entries that only pass to children count as well: the files this
        // service writes into the folder would carry them.
        PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart;
        if ((mask & kFolderChangeRights) != 0 && !IsTrustedSid(sid, ownSid)) {
          check.trust = FolderTrust::kWideAccess;
          check.who = NarrowSidText(sid);
          check.mask = mask;
          return check;
        }
        continue;
      }
      default:
        // Conditional and object entries are not read here: one that could
        // grant a change right counts as granting it.
        if ((mask & kFolderChangeRights) != 0) {
          check.trust = FolderTrust::kWideAccess;
          check.who = FormatText(texts::kFolderEntryOfType, static_cast<unsigned>(header->AceType));
          check.mask = mask;
          return check;
        }
        continue;
    }
  }
  return check;
}

std::string FolderRefusalReason(const FolderCheck& check) {
  switch (check.trust) {
    case FolderTrust::kTrusted:
      return {};
    case FolderTrust::kNotOpened:
      return FormatText(texts::kFolderNotOpened, static_cast<unsigned long>(check.error));
    case FolderTrust::kReparsePoint:
      return texts::kFolderIsReparsePoint;
    case FolderTrust::kNoFolder:
      return texts::kFolderIsNoFolder;
    case FolderTrust::kSecurityNotRead:
      return FormatText(texts::kFolderSecurityNotRead, static_cast<unsigned long>(check.error));
    case FolderTrust::kForeignOwner:
      return FormatText(texts::kFolderForeignOwner, check.who.c_str());
    case FolderTrust::kWideAccess:
      return FormatText(texts::kFolderWideAccess, check.who.c_str(),
                        static_cast<unsigned long>(check.mask));
    case FolderTrust::kNoAccessList:
      return texts::kFolderNoAccessList;
  }
  return {};
}

bool TrustedFolder::Open(const std::wstring& root, const wchar_t* leaf) {
  levels_.clear();
  path_.clear();
  try {
    const std::wstring ownSid = OwnAccountSid();
    std::wstring path = root;
    std::vector<UniqueFileHandle> levels;
    for (const wchar_t* name : {kServiceFolderCompany, kServiceFolderProduct, leaf}) {
      path = Join(path, name);
      UniqueFileHandle level;
      FolderCheck check;
      // Made (unless it exists), opened and checked; a second time after a
      // level of a user's was moved aside.
      for (int attempt = 0; attempt < 2; ++attempt) {
        if (const DWORD error = CreateServiceFolder(path, ownSid); error != 0) {
          LogRefusal(path, FormatText(texts::kFolderNotCreated, static_cast<unsigned long>(error)));
          return false;
        }
        level = OpenLevel(path);
        check = FolderCheck{};
        if (!level) {
          check.trust = FolderTrust::kNotOpened;
          check.error = GetLastError();
        } else {
          check = CheckFolderHandle(level.get(), ownSid);
        }
        if (check.trust == FolderTrust::kTrusted || attempt > 0 ||
            !IsUsersLevel(level, check.error, ownSid)) {
          break;
        }
        // A user made this level first (anyone may create entries in the
        // program data folder and owns what they create there). Left in
        // place it would keep the service from installing for ever; so it
        // is renamed, untouched, and the service makes its own in its place.
        level.reset();
        std::wstring aside;
        if (const DWORD error = MoveLevelAside(path, aside); error != 0) {
          ProgramLog::Printf(texts::kInstallFolderNotMovedAside, Narrow(path).c_str(),
                             FolderRefusalReason(check).c_str(), static_cast<unsigned long>(error));
          break;
        }
        ProgramLog::Printf(texts::kInstallFolderMovedAside, Narrow(path).c_str(),
                           Narrow(aside).c_str(), FolderRefusalReason(check).c_str());
      }
      if (check.trust != FolderTrust::kTrusted) {
        LogRefusal(path, FolderRefusalReason(check));
        return false;
      }
      levels.push_back(std::move(level));
    }
    std::string ansi;
    if (!ExactAnsi(path, ansi)) {
      LogRefusal(path, texts::kFolderPathNotAnsi);
      return false;
    }
    levels_ = std::move(levels);
    path_ = std::move(ansi);
    return true;
  } catch (const std::bad_alloc&) {
    levels_.clear();
    path_.clear();
    return false;
  }
}

}  // namespace zvu
