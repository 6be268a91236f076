#pragma once

// Every text the tray client publishes: its windows, balloon, wizard pages and
// log records. Users, their support staff and administrators' tools read and
// look for them: they stay exactly as they are, misspellings and trailing
// spaces included.

namespace zvu::client_texts {

// Main window, tray icon and balloon.
inline constexpr char kMainTitle[] = "Zelko Vuro Update";
inline constexpr char kUpdatesFoundBalloon[] = "New Updates Found";

// Log record ("c:\VurUpdateGui.log") of a catalogue handed over by the service:
// the receiving window's handle, then the text.
inline constexpr char kCatalogueReceivedHead[] = " data received from server and send to: %x \r\n ";
inline constexpr char kCatalogueReceivedTail[] = "\r\n";
// Log record of a registration that cannot follow the service by itself:
// when the service process cannot be watched, the client does not learn that
// it was restarted; it registers with the new one only when a second start
// of the program (the service starts one while a catalogue waits) asks it to.
inline constexpr char kServiceNotWatched[] =
    "service process %lu cannot be watched Err:%lu, no new registration after its restart \r\n";
// Log record of a registration pipe whose server is not the update service
// (a process that took the pipe's name while the service was stopped): the
// pipe server's process id, the id its greeting named (0: not read, as
// nothing is read from a server that is not the service), and the id the
// service control manager reports for the running service (0: none). The
// client sends that server nothing and tries again later.
inline constexpr char kRegistrationRefused[] =
    "Registration refused: pipe server PID: %lu greeting PID: %lu service PID: %lu \r\n";
// Log record of a catalogue the wizard cannot read (its size in bytes); the
// wizard then shows its error page.
inline constexpr char kCatalogueNotRead[] =
    "Update catalogue not read: no well-formed XML in %u bytes \r\n";

// Log record of an update whose download cannot even start (bad url, no
// usable file name, no folder): product, the url as far as it can be shown
// (control characters as '?', cut after 1024 characters), the Windows error.
inline constexpr char kDownloadNotStarted[] = "Download of %s update not started: url \"%s\" Err:%lu \r\n";

// First record of a log that could not be opened at "c:\VurUpdateGui.log"
// and is kept in the user's own folder instead: that path, the Windows error
// of its open (5: no right to create files there, or a folder of that name;
// 32: another program, such as the client of another session, holds it).
inline constexpr char kLogMoved[] = "%s cannot be opened Err:%lu, the log is written here instead \r\n";

// Log records of a download folder that is not the user's own (the
// temporary folder's "zelko updates" is made or owned by another account):
// that folder, then the folder of the user's own beside it that is used
// instead, or that could not be made the user's either (nothing is then
// downloaded). Written when the folder in use changes.
inline constexpr char kDownloadFolderOfOther[] =
    "Download folder %s belongs to another account, %s is used instead \r\n";
inline constexpr char kDownloadFolderOwnerUnknown[] =
    "Download folder %s has no owner that can be read, %s is used instead \r\n";
inline constexpr char kNoOwnDownloadFolder[] =
    "Download folder %s is not this user's own, nor is %s: nothing is downloaded \r\n";

// Log record of a link in a description that is not opened because it is no
// web or mail address (a file: address, a UNC path, a program): the address
// as far as it can be shown (control characters as '?', cut after 1024
// characters).
inline constexpr char kLinkRefused[] =
    "Link not opened: url \"%s\" is no http:, https: or mailto: address \r\n";

// About box.
inline constexpr char kAboutCaption[] = "About Vuro Update";
inline constexpr char kAboutVersion[] = "Version: ";
inline constexpr char kAboutCopyright[] = "Copyright: ";
inline constexpr char kNoInternetExplorer[] = "Cannot find Internet Explorer.";

// The update wizard.

inline constexpr char kCaption[] = "Vuro Update";

// Header band of the interior pages.
inline constexpr char kSearchTitle[] = "Searching for Updates";
inline constexpr char kSearchSubtitle[] = "Zelko Vuro Update is searching for available updates.";
inline constexpr char kSelectTitle[] = "Select Updates";
inline constexpr char kSelectSubtitle[] =
    "Select applications you want to update or check out our new products";
inline constexpr char kDownloadTitle[] = "Download and install";
inline constexpr char kDownloadSubtitle[] =
    "Zelko Vuro Update will now download and install selected updates";

// Welcome page: one line per installed product (name, major, minor).
inline constexpr char kInstalledLine[] = "%s Version %d.%d";

// Selection page.
inline constexpr char kProductRow[] = "%s %d.%d";         // offered product, heading
inline constexpr char kUpdateRow[] = "%s %d.%d.%d.%d";    // update
inline constexpr char kUpdateTitle[] = "%s %d.%d.%d.%d (%dkB)";
inline constexpr char kInstalledTitle[] = "%s %d.%d.%d";
inline constexpr char kInstalledBody[] =
    "This is currently installed version of %s. To update it check the item below.";
inline constexpr char kRtfHeader[] =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 "
    "Arial;}}\\viewkind4\\uc1\\pard\\f0\\fs16 ";

// Download page.
inline constexpr char kInstallError[] = "Error while installing %s";
inline constexpr char kInstallLabel[] = "Install progress:";

// Finish page.
inline constexpr char kResultRow[] = "%s %d.%d.%d";
inline constexpr char kDownloadFailed[] = "There was an error during download.";
inline constexpr char kInstallFailed[] = "There was an error during installation.";
inline constexpr char kInstalledOk[] = "Downloaded and installed succefully.";

// Error page.
inline constexpr char kParseErrorHeadline[] = "Error in ";
inline constexpr char kInterrupted[] = "Vuro Update was interrupted by user.";
inline constexpr char kThankYou[] = "Thank you for using Zelko Vuro Update";
inline constexpr char kNothingChosen[] =
    "You did not choose to update any of the installed products.\n"
    "Click 'Back' to choose updates, or click 'Finish' to close Vuro Update.";

// Log records of an installation through the service (product, version and
// the outcome's name below; the pipe server's process id and the service's).
inline constexpr char kServiceInstallRecord[] = "Service install of %s %s: %s \r\n";
inline constexpr char kInstallPipeNotTheService[] =
    "Install pipe served by PID: %lu, not by the service (PID: %lu): request not sent \r\n";
inline constexpr char kServiceInstallInstalled[] = "installed";
inline constexpr char kServiceInstallFailed[] = "install failed";
inline constexpr char kServiceInstallDownloadFailed[] = "download failed";
inline constexpr char kServiceInstallDigestMismatch[] = "digest mismatch";
inline constexpr char kServiceInstallNotListed[] = "refused: not in the service's catalogue";
inline constexpr char kServiceInstallNoDigest[] = "refused: listed without a sha256";
inline constexpr char kServiceInstallNotApplicable[] = "refused: does not apply";
inline constexpr char kServiceInstallNotAllowed[] = "refused: not allowed";
inline constexpr char kServiceInstallBusy[] = "refused: another installation runs";
inline constexpr char kServiceInstallServiceError[] = "service error";
inline constexpr char kServiceInstallBadRequest[] = "request refused as malformed";
inline constexpr char kServiceInstallNoService[] = "service not reached";
inline constexpr char kServiceInstallNotTheService[] = "pipe not served by the service";
inline constexpr char kServiceInstallConnectionLost[] = "connection lost";
inline constexpr char kServiceInstallBadAnswer[] = "answer not understood";
inline constexpr char kServiceInstallGivenUp[] = "given up";
// A verified update of a client without administrator rights while the
// service does not run (the update's name): it takes the consent road.
inline constexpr char kServiceNotRunning[] =
    "The update service is not running: %s is installed with the user's consent \r\n";

}  // namespace zvu::client_texts
