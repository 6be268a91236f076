#pragma once

// Every text the update service publishes: its log records, its event-log
// messages and its message boxes. Administrators read them, and so do their
// tools, which match them byte for byte: they stay exactly as they are,
// misspellings, spaces and line ends included.

namespace zvu::texts {

// Log records ("c:\VuroUpdateService.log").
inline constexpr char kCatalogueSentRecord[] = "m_strUpdateXml sent to client \r\n";
inline constexpr char kOpenConsoleProcessFailed[] =
    "error open console process Err:%d session:%d PID: %d hProces:%d\r\n";
inline constexpr char kOpenTerminalProcessFailed[] =
    "error open terminal process Err:%d session:%d PID: %d hproces:%d h\r\n";
inline constexpr char kClientFoundInConsole[] = "client found in console session:%d PID: %d \r\n";
inline constexpr char kClientFoundInTerminal[] = "client found in terminal session:%d PID: %d \r\n";
inline constexpr char kTryToStartClient[] = "Try to start proces in WinlogonSession:%d \r\n";
inline constexpr char kSessionIsActive[] = "Sesion is active \r\n";
inline constexpr char kClientStartFailed[] = "Error startin process:%s eror: %d  in:%s \r\n";
// The user's environment could not be built for the client: it is not
// started with the service's own (the next tick tries again).
inline constexpr char kClientEnvironmentFailed[] =
    "Environment of the user not built for process:%s eror: %d, not started \r\n";
// An active session where no "explorer.exe" runs: the client is started
// with the session's user token.
inline constexpr char kStartClientWithoutShell[] =
    "No shell in WinlogonSession:%d, start with its user token \r\n";
inline constexpr char kPipeNotCreated[] =
    "Registration pipe not created Err:%d, next try in %d ms \r\n";
inline constexpr char kNextPipeNotCreated[] =
    "Next registration pipe not created Err:%d, current one used again \r\n";
inline constexpr char kPipeCreatedAgain[] = "Registration pipe created again \r\n";
inline constexpr char kCatalogueCheckGivenUp[] =
    "Catalogue check given up: the transfer did not end within %lu s \r\n";
inline constexpr char kPipeSecurityNotBuilt[] =
    "Registration pipe security not built Err:%d, default security used \r\n";
// One per connection to the registration pipe: the connected process, and
// what became of its registration.
inline constexpr char kClientRegistered[] = "Client registered PID: %d \r\n";
inline constexpr char kRegistrationRefused[] =
    "Registration refused PID: %d claimed PID: %d handle:%d \r\n";
inline constexpr char kRegistrationIncomplete[] =
    "Registration not completed PID: %d, %d of %d bytes received \r\n";
// Which check refused a registration, written just before its "Registration
// refused" record: the connected process, the check (one of the texts
// below) and the Windows error of that step (0 where it has none).
inline constexpr char kRegistrationCheckFailed[] =
    "Registration check failed PID: %d: %s Err:%d \r\n";
inline constexpr char kCheckOtherProcess[] = "claimed process is not the pipe's client";
inline constexpr char kCheckNoProcess[] = "claimed process is none or the service";
inline constexpr char kCheckNotIdentified[] = "pipe client not identified";
inline constexpr char kCheckProcessNotOpened[] = "claimed process not opened";
inline constexpr char kCheckProcessEnded[] = "claimed process has ended";
inline constexpr char kCheckTokenNotRead[] = "token of the claimed process not read";
inline constexpr char kCheckOtherUser[] = "claimed process runs as another user";
inline constexpr char kCheckHigherIntegrity[] =
    "claimed process has a higher integrity level than the pipe client";
inline constexpr char kCheckHandleNotCopied[] = "handle not copied from the claimed process";
inline constexpr char kCheckNoWriteEnd[] = "handle is no pipe write end the service may take";
// A check whose catalogue had not arrived when the service was asked to stop.
inline constexpr char kCheckStopped[] = "Update check given up on stop \r\n";
// A hand-off that did not reach its client; the catalogue stays pending.
inline constexpr char kClientGoneDuringHandOff[] =
    "Client PID: %d gone during hand-off, catalogue kept \r\n";
inline constexpr char kHandOffStopped[] =
    "Hand-off to client PID: %d given up on stop \r\n";
// A client that had not taken the catalogue within the hand-off's limit (in
// seconds): it is dropped from the clients, the catalogue stays pending.
inline constexpr char kHandOffTimedOut[] =
    "Hand-off to client PID: %d given up after %lu s, client dropped, catalogue kept \r\n";
// A hand-off not started because an earlier one to the same client is still
// blocked in its pipe.
inline constexpr char kHandOffStillBlocked[] =
    "Hand-off to client PID: %d not started, an earlier one is still blocked \r\n";
// A check whose fetched catalogue is no well-formed document (size in bytes).
inline constexpr char kCatalogueNotRead[] =
    "Update catalogue not read: no well-formed XML in %u bytes \r\n";
// An update the check did not take because of how the installed version is
// stored: product, the value, and the version as it was read (4294967295 for
// a value that cannot be read).
inline constexpr char kInstalledValueNotDword[] =
    "Installed version of %s read as %u.%u.%u: value %s is not a 4-byte REG_DWORD \r\n";
// A catalogue with an applicable update whose text holds the byte that ends a
// catalogue on the client pipe (its offset): the client would get it cut.
inline constexpr char kCatalogueNotHanded[] =
    "Update catalogue holds byte 0xFF at %u, which ends it on the client pipe: not handed over \r\n";

// Installations the service runs itself (an update with a sha256 that a user
// asked for). Product and version name the update in each record.
// A folder of the service's own that it does not use: the folder and why.
inline constexpr char kInstallFolderRefused[] =
    "Service install folder %s not used: %s \r\n";
// The reasons of kInstallFolderRefused.
inline constexpr char kFolderNotCreated[] = "not created Err:%lu";
inline constexpr char kFolderNotOpened[] = "not opened Err:%lu";
inline constexpr char kFolderIsReparsePoint[] = "it is a reparse point";
inline constexpr char kFolderIsNoFolder[] = "it is no folder";
inline constexpr char kFolderSecurityNotRead[] = "its security not read Err:%lu";
inline constexpr char kFolderForeignOwner[] = "owned by %s, not local system or administrators";
inline constexpr char kFolderWideAccess[] = "access list lets %s write (mask 0x%08lX)";
inline constexpr char kFolderNoAccessList[] = "it has no access list (everyone full control)";
inline constexpr char kFolderPathNotAnsi[] = "its path is not in the ANSI code page";
// A level of the service's folders that a user made first, renamed out of
// the way (the folder, why it was not used, its new name), or left where it
// is (the folder, why, the error of the rename).
inline constexpr char kInstallFolderMovedAside[] =
    "Service install folder %s moved aside to %s (%s), made anew \r\n";
inline constexpr char kInstallFolderNotMovedAside[] =
    "Service install folder %s not moved aside (%s) Err:%lu \r\n";
// Who kFolderForeignOwner and kFolderWideAccess name when it is no account.
inline constexpr char kFolderUnknownAccount[] = "an unknown account";
inline constexpr char kFolderEntryOfType[] = "an entry of type %u";
inline constexpr char kInstallStarted[] = "Service install of %s %s from %s \r\n";
inline constexpr char kInstallNoDigest[] =
    "Service install of %s %s refused: the catalogue lists no sha256 \r\n";
inline constexpr char kInstallBadFileName[] =
    "Service install of %s %s refused: no usable file name in its url \r\n";
inline constexpr char kInstallDownloadFailed[] =
    "Service install of %s %s: download failed, state %d, %llu of %llu bytes \r\n";
inline constexpr char kInstallDownloadNotStarted[] =
    "Service install of %s %s: download not started Err:%lu \r\n";
inline constexpr char kInstallDownloadStalled[] =
    "Service install of %s %s: download stalled for %lu s at %llu bytes, given up \r\n";
inline constexpr char kInstallAbandoned[] =
    "Service install of %s %s abandoned by its requester before the start \r\n";
inline constexpr char kInstallCopyNotOpened[] =
    "Service install of %s %s: downloaded file not opened Err:%lu, not run \r\n";
inline constexpr char kInstallLogNotCreated[] =
    "Service install of %s %s: log %s not created Err:%lu, not run \r\n";
inline constexpr char kInstallCommandNotBuilt[] =
    "Service install of %s %s: no command line for %s, not run \r\n";
inline constexpr char kInstallStartFailed[] =
    "Service install of %s %s: installer not started Err:%lu \r\n";
inline constexpr char kInstallSucceeded[] = "Service install of %s %s succeeded, log %s \r\n";
inline constexpr char kInstallFailed[] = "Service install of %s %s failed, log %s \r\n";
inline constexpr char kInstallLogNotRead[] =
    "Service install of %s %s: log %s not read, counted as failed \r\n";
inline constexpr char kInstallCopyNotDeleted[] =
    "Service install of %s %s: copy %s not deleted Err:%lu \r\n";

// The install pipe: requests from a user's client to install a verified
// update (product, version), who asked, and what became of it.
inline constexpr char kInstallPipeNotCreated[] =
    "Install pipe not created Err:%d, next try in %d ms \r\n";
inline constexpr char kInstallPipeSecurityNotBuilt[] =
    "Install pipe security not built Err:%d, install pipe not offered \r\n";
inline constexpr char kInstallPipeCreatedAgain[] = "Install pipe created again \r\n";
inline constexpr char kInstallTooManyRequests[] =
    "Install request PID: %d refused: %d requests are being served \r\n";
inline constexpr char kInstallNoRequest[] =
    "Install request not received PID: %d Err:%lu \r\n";
inline constexpr char kInstallRequesterUnknown[] =
    "Install request PID: %d refused: requester not identified Err:%lu \r\n";
inline constexpr char kInstallRevertFailed[] =
    "Install request PID: %d dropped: impersonation not ended Err:%lu \r\n";
inline constexpr char kInstallRequestMalformed[] =
    "Install request PID: %d user: %s refused: malformed (%s, %u bytes) \r\n";
inline constexpr char kInstallRequested[] =
    "Install requested PID: %d user: %s product: %s version: %s \r\n";
inline constexpr char kInstallNotAllowed[] =
    "Install of %s %s for user: %s refused: not an interactive user \r\n";
inline constexpr char kInstallNotListed[] =
    "Install of %s %s for user: %s refused: not in the service's catalogue \r\n";
inline constexpr char kInstallRequestNoDigest[] =
    "Install of %s %s for user: %s refused: listed without a sha256 \r\n";
inline constexpr char kInstallNotApplicable[] =
    "Install of %s %s for user: %s refused: does not apply to the installed version \r\n";
inline constexpr char kInstallBusy[] =
    "Install of %s %s for user: %s refused: another installation runs \r\n";
inline constexpr char kInstallUnavailable[] =
    "Install of %s %s for user: %s refused: this service cannot install \r\n";
inline constexpr char kInstallRequestStarted[] = "Install of %s %s for user: %s from %s \r\n";
inline constexpr char kInstallEnded[] = "Install of %s %s for user: %s ended: %s \r\n";
// The names of the outcomes in kInstallEnded.
inline constexpr char kInstallOutcomeInstalled[] = "installed";
inline constexpr char kInstallOutcomeFailed[] = "install failed";
inline constexpr char kInstallOutcomeDownloadFailed[] = "download failed";
inline constexpr char kInstallOutcomeDigestMismatch[] = "digest mismatch";
inline constexpr char kInstallOutcomeFolderUnsafe[] = "download folder unsafe";
inline constexpr char kInstallOutcomeAbandoned[] = "requester gone";
// The names of the faults in kInstallRequestMalformed.
inline constexpr char kRequestFaultEmpty[] = "empty";
inline constexpr char kRequestFaultUnknownKind[] = "unknown kind";
inline constexpr char kRequestFaultBadLength[] = "bad length";
inline constexpr char kRequestFaultBadName[] = "product name not printable";
inline constexpr char kRequestFaultTrailingBytes[] = "trailing bytes";

// Event-log messages (printed to the console in plain mode).
inline constexpr char kEventServiceStarted[] = "Service started";
inline constexpr char kEventServiceStopped[] = "Service stopped";
inline constexpr char kEventBadServiceRequest[] = "Bad service request";
inline constexpr char kEventHandlerNotInstalled[] = "Handler not installed";
// The service's log file could not be opened (another program holds it, or
// the disk refuses it): the path and the Windows error. Without this event an
// administrator would find nothing at all.
inline constexpr char kEventLogNotOpened[] = "Service log %s not opened Err:%lu, the service runs without it";

// Message boxes of /Service and /UnregServer (captioned with the service name).
inline constexpr char kBoxCannotOpenServiceManager[] = "Could not open Service Manager";
inline constexpr char kBoxCannotStartService[] = "Could not start service";
inline constexpr char kBoxCannotOpenService[] = "Could not open service";
inline constexpr char kBoxCannotStopService[] = "Could not stop service";
inline constexpr char kBoxCannotDeleteService[] = "Could not delete service";

// The service's log file, its control requests and its timer.
// A log path where something other than a plain file with one name stands
// (a folder, a junction or mount point, a file with hard links): the path
// and the reason (one of the texts below, or kFolderIsReparsePoint). Nothing
// is written through it.
inline constexpr char kEventLogNotUsed[] =
    "Service log %s not used: %s, the service runs without it";
inline constexpr char kLogIsFolder[] = "it is a folder";
inline constexpr char kLogHasLinks[] = "it has %lu names (hard links)";
inline constexpr char kLogInformationNotRead[] = "its file information not read Err:%lu";
// The log is used, but the access list of a log left by an older version
// (which let every user change it) could not be replaced by the service's.
inline constexpr char kEventLogListNotRenewed[] =
    "Service log %s used with its old access list: not renewed Err:%lu";
// Bad service requests (control codes the service does not know) are
// reported at most once a minute; how many were not, as an event and as a
// log record.
inline constexpr char kEventBadRequestsHeldBack[] =
    "Bad service requests not reported since the last one: %lu";
inline constexpr char kBadRequestsHeldBackRecord[] =
    "Bad service requests not reported since the last one: %lu \r\n";
// The 5-second timer that drives every update check could not be made: the
// service stops with this error rather than run without ever checking.
inline constexpr char kEventTimerNotCreated[] = "Update timer not created Err:%lu, the service stops";

// /Service: the description the control manager shows for the service.
inline constexpr char kServiceDescription[] =
    "Checks for updates of the installed Zelko products and offers them to the signed-in user.";
// /Service: an existing service entry could not be brought up to date (box).
inline constexpr char kBoxCannotChangeService[] = "Could not change service";
// /Service: a setting of the service that the system refused (the service
// runs without it): the setting's name and the Windows error.
inline constexpr char kEventServiceSettingRefused[] = "Service setting not applied: %s Err:%lu";
// The names of the settings in kEventServiceSettingRefused.
inline constexpr char kServiceSettingDescription[] = "description";
inline constexpr char kServiceSettingRecovery[] = "recovery";
inline constexpr char kServiceSettingSidType[] = "service SID type";

// A shell's token that the client is not started with: the process that the
// shell's id named when it was opened (the shell may have ended and its id
// been given to another process) has a token of another session, of a
// service account, or one that could not be read. The next shell is tried.
inline constexpr char kShellTokenOtherSession[] =
    "Shell PID: %d not used to start process:%s, its token is of session %d, not %d \r\n";
inline constexpr char kShellTokenServiceAccount[] =
    "Shell PID: %d not used to start process:%s, its token is a service account's \r\n";
inline constexpr char kShellTokenNotRead[] =
    "Shell PID: %d not used to start process:%s, its token not read Err:%d \r\n";

}  // namespace zvu::texts
