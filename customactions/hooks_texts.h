#pragma once

// Every text the custom actions publish: the entries of the installation log
// ("IISQuillet_inst.log"), the action texts the installer shows while they
// run, and the note the installer's dialog shows about an older version.
// Administrators and their tools read them byte for byte: they stay exactly
// as they are, spaces and line ends included.

namespace zvu::hooks::texts {

// Installation log: one entry naming each action as it starts.
inline constexpr wchar_t kInstallationStarted[] =
    L"*******************INSTALLATION STARTED*********************\n";
inline constexpr wchar_t kUninstallStarted[] =
    L"*********************UNINSTALL STARTED*********************\n";
inline constexpr wchar_t kRemoveFilterEntry[] = L"RemoveFilter\n";
inline constexpr wchar_t kExistFilterEntry[] = L"ExistFilter\n";
inline constexpr wchar_t kReplaceFilterPathEntry[] = L"ReplaceFilterPath1\n";
inline constexpr wchar_t kCheckPrevVersionEntry[] = L"CheckPrevVersion\n";
inline constexpr wchar_t kDeletePrevFilesEntry[] = L"DeletePrevFiles\n";
inline constexpr wchar_t kDeletePrevRegEntriesEntry[] = L"DeletePrevRegEntries\n";
inline constexpr wchar_t kDeleteInstallFilesEntry[] = L"DeleteInstallFiles\n";
inline constexpr wchar_t kKillVuroUpdateEntry[] = L"KillVuroUpdate\n";
inline constexpr wchar_t kStartVuroUpdateEntry[] = L"StartVuroUpdate\n";
inline constexpr wchar_t kCheckMmcEntry[] = L"CheckMMC\n";
inline constexpr wchar_t kInstallSnapinEntry[] = L"InstallSnapin\n";
inline constexpr wchar_t kUninstallSnapinEntry[] = L"UninstallSnapin\n";
// A site whose filter path is replaced; a swprintf format.
inline constexpr wchar_t kSiteIdEntry[] = L"SITEID=%d\n";
// A command that could not be started (after the entry with its command
// line); a swprintf format.
inline constexpr wchar_t kCommandFailedEntry[] = L"command failed\t last error %d\n";

// A deferred action whose CustomActionData gives the folder empty or not at
// all (it then has nothing to do), or names it twice (it fails); swprintf
// formats with the folder's name.
inline constexpr wchar_t kDeferredFolderEmptyEntry[] =
    L"deferred action: %ls is empty or missing in CustomActionData, nothing done\n";
inline constexpr wchar_t kDeferredFolderAmbiguousEntry[] =
    L"deferred action: %ls is given more than once in CustomActionData\n";
// The exit code of net.exe once it ended; a swprintf format.
inline constexpr wchar_t kNetExitCodeEntry[] = L"net.exe exit code %lu\n";
// StartW3Progress stopped waiting for net.exe; a swprintf format (seconds).
inline constexpr wchar_t kNetWaitBoundEntry[] =
    L"net.exe still running after %lu seconds, going on without it\n";
// The web server's configuration store could not be reached.
inline constexpr wchar_t kMetabaseNotRegisteredEntry[] =
    L"IIS metabase (IMSAdminBase) is not registered: IIS 6 Metabase Compatibility is not "
    L"installed\n";
inline constexpr wchar_t kMetabaseUnavailableEntry[] =
    L"IIS metabase could not be created\t 0x%08lx\n";

// Action texts shown in the installer's progress dialog.
inline constexpr wchar_t kDeletingPrevFiles[] = L"Deleting files from previous installation.";
inline constexpr wchar_t kStartingVuroUpdate[] = L"Starting Vuro Update.";
inline constexpr wchar_t kUninstallingSnapin[] = L"Uninstalling snapin.";
inline constexpr wchar_t kStoppingIis[] = L"Stopping IIS, please wait...";
inline constexpr wchar_t kStartingIis[] = L"Starting IIS, please wait...";

// The PrevVersionText property, shown when an older version is found.
inline constexpr wchar_t kPrevVersionNote[] =
    L"NOTE: An older version of IISQuillet is detected and will be uninstalled. To avoid "
    L"unauthorized access, IIS will be stopped first.";

}  // namespace zvu::hooks::texts
