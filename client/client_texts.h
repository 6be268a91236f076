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
// Log record of a registration that cannot follow the service: when the
// service process cannot be watched, the client does not learn that it was
// restarted and does not register with the new one.
inline constexpr char kServiceNotWatched[] =
    "service process %lu cannot be watched Err:%lu, no new registration after its restart \r\n";
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

}  // namespace zvu::client_texts
