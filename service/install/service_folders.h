#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "unique_handle.h"

namespace zvu {

// The service's own folders: <program data>\Zelko\VuroUpdate\Downloads for
// the installers it fetches, ...\Logs for the logs of their runs.
inline constexpr wchar_t kServiceFolderCompany[] = L"Zelko";
inline constexpr wchar_t kServiceFolderProduct[] = L"VuroUpdate";
inline constexpr wchar_t kServiceDownloadsFolder[] = L"Downloads";
inline constexpr wchar_t kServiceLogsFolder[] = L"Logs";

// The rights on a folder that let their holder change what it holds, or who
// may: create, write or delete entries, change attributes, the access list
// or the owner. Only trusted accounts may hold any of them.
inline constexpr DWORD kFolderChangeRights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
    FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The machine's program data folder (FOLDERID_ProgramData, C:\ProgramData);
// empty when the system does not name it.
std::wstring ProgramDataFolder();

// The account the service runs as (local system on Windows), as a string SID;
// empty when the process token cannot be read.
std::wstring OwnAccountSid();

// The access list every folder of the service gets when the service creates
// it: full control for local system and the administrators (and for the
// service's own account, when that is another one), inherited by everything
// below, nothing inherited from the parent. No one else has any right.
std::wstring ServiceFolderSddl(const std::wstring& ownSid);

// What the check of an existing folder found.
enum class FolderTrust {
  kTrusted,
  kNotOpened,        // it cannot be opened (error)
  kReparsePoint,     // a junction or link: it would lead elsewhere
  kNoFolder,         // a file
  kSecurityNotRead,  // owner or access list not read (error)
  kForeignOwner,     // owned by another account (who)
  kWideAccess,       // grants change rights to another account (who, mask)
  kNoAccessList,     // a null access list: everyone has full control
};

struct FolderCheck {
  FolderTrust trust = FolderTrust::kTrusted;
  DWORD error = 0;
  std::string who;  // the account, as a string SID
  DWORD mask = 0;
};

// Checks a folder's owner and access list (as read from the folder): owned
// by local system, the administrators or ownSid, and none of
// kFolderChangeRights granted to anyone else. An entry whose kind this check
// does not read counts as a wide grant when its mask holds a change right.
FolderCheck CheckFolderSecurity(PSID owner, PACL dacl, const std::wstring& ownSid);

// Checks the folder open as `folder` (opened with READ_CONTROL,
// FILE_READ_ATTRIBUTES and FILE_TRAVERSE, not following reparse points): a
// folder, no reparse point, and CheckFolderSecurity of its owner and access
// list.
FolderCheck CheckFolderHandle(HANDLE folder, const std::wstring& ownSid);

// The reason part of the refusal record for a check that did not trust.
std::string FolderRefusalReason(const FolderCheck& check);

// One of the service's folders, created as needed and checked. Every level
// from <root>\Zelko down to the folder is checked and stays open while this
// object lives, shared for reading and writing but not for deletion, so that
// no level can be renamed, moved or replaced between the check and the use.
class TrustedFolder {
 public:
  // Creates (with ServiceFolderSddl) what is missing of
  // <root>\Zelko\VuroUpdate\<leaf> and checks every level. A level that
  // fails its check and belongs to a user (owned by another account, or not
  // even opened by the service) is renamed aside, untouched, to
  // "<name>.untrusted-<GUID>" and made anew, once, with a log record. False,
  // with a log record naming the level and the reason, when a level cannot
  // be made or is not trusted; the object then holds nothing.
  bool Open(const std::wstring& root, const wchar_t* leaf);

  // The folder's path in the ANSI code page (the installer's command line
  // is built from it).
  const std::string& Path() const { return path_; }

 private:
  std::vector<UniqueFileHandle> levels_;
  std::string path_;
};

}  // namespace zvu
