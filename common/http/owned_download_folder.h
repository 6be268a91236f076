#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace zvu {

// Whose a folder is, as far as downloading installers into it is concerned.
enum class FolderOwner {
  Missing,      // no such file or folder
  CurrentUser,  // a real folder owned by this process's user (or its default owner)
  Other,        // owned by another account, or a file, link or junction
  Unknown,      // it exists, but its owner cannot be read
};

// Who owns folder. A folder counts as the user's when its owner is the
// token's user, or the token's default owner (an elevated administrator's
// objects are owned by the Administrators group). Links and junctions are
// never the user's: what they lead to can change under the client.
FolderOwner QueryFolderOwner(const std::string& folder);

// Reads who owns a folder; QueryFolderOwner outside of tests.
using FolderOwnerQuery = std::function<FolderOwner(const std::string& folder)>;

// The text form ("S-1-5-21-...") of this process's user; empty when the
// token cannot be read.
std::string CurrentUserSid();

// The folder of the user's own beside folder: "<folder>-<user's SID>".
// Empty when the SID cannot be read.
std::string PrivateFolderBeside(const std::string& folder, const std::string& userSid);

// Creates folder (one level), owned by this process's user, with an access
// list that gives full access to that user, LocalSystem and the
// Administrators group only, and is not widened by the parent's. Returns
// the Windows error; ERROR_ALREADY_EXISTS when something is there already.
DWORD CreatePrivateFolder(const std::string& folder);

// How the download folder was chosen.
enum class DownloadFolderReason {
  Preferred,       // the preferred folder is the user's own (or was created)
  PreferredOther,  // the preferred folder belongs to another account: the private one is used
  PreferredUnknown,  // the preferred folder's owner cannot be read: the private one is used
  NoneOwned,       // neither folder is the user's own: nothing may be downloaded
};

struct DownloadFolderChoice {
  std::string folder;  // the folder to use; empty for NoneOwned
  DownloadFolderReason reason = DownloadFolderReason::NoneOwned;
  std::string privateFolder;  // the folder beside the preferred one (when it was looked at)
};

// Picks the folder the installers are downloaded to: the preferred folder
// when the user owns it (it is created when missing), otherwise the private
// folder beside it (created when missing, used only when the user owns it).
DownloadFolderChoice ChooseDownloadFolder(const std::string& preferred,
                                          const FolderOwnerQuery& owner = QueryFolderOwner);

}  // namespace zvu
