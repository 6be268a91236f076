#pragma once

// Every text the shared code publishes on behalf of the program that uses it:
// the records it writes into that program's log and the download progress
// the client shows. Administrators and their tools read them byte for byte:
// they stay exactly as they are, spaces and line ends included. The transfer
// log's texts for WinHTTP's status notifications are a table of their own,
// in http/status_text.cpp.

namespace zvu::common_texts {

// Log records of the HTTP client.
inline constexpr char kStartLogging[] = "\r\n\r\nStart Logging \r\n";
// One transfer-log line (see http/status_text.cpp).
inline constexpr char kTransferRecord[] = " %s\r\n";
inline constexpr char kConnectionEndedEarly[] = " The connection ended after %llu of %lld bytes\r\n";
inline constexpr char kNoReadableStatus[] =
    " The server's answer carried no readable HTTP status\r\n";
inline constexpr char kNotModified[] = " The server answered with HTTP status 304: not modified\r\n";
inline constexpr char kHttpStatus[] = " The server answered with HTTP status %lu\r\n";
inline constexpr char kDownloadNotWritten[] =
    " The downloaded data could not be written to its file\r\n";
inline constexpr char kDownloadFileNotCreated[] =
    " The file %s could not be created for the download (errno %d)\r\n";

// Log record of the installer run.
inline constexpr char kInstallerStopped[] =
    " The installer %s did not end within %u s and was stopped\r\n";
// An installer whose process could not be started (the Windows error), and
// one the user did not give administrator rights to (error 1223, the
// consent prompt declined): not installed.
inline constexpr char kInstallerNotStarted[] =
    " The installer %s could not be started (error %lu)\r\n";
// An installer started with administrator rights the user consented to
// (a client without them, or an installer that asked for them).
inline constexpr char kInstallerStartedWithConsent[] =
    " The installer %s was started with administrator rights the user consented to\r\n";
inline constexpr char kInstallerConsentDeclined[] =
    " The installer %s was not started: administrator rights for it were declined (error %lu)\r\n";

// Download progress, around the product's name: "Downloading <name> update: ...".
inline constexpr char kDownloadingHead[] = "Downloading ";
inline constexpr char kDownloadingConnecting[] = " update: connecting ... ";
inline constexpr char kDownloadingAmount[] = " update: ";
inline constexpr char kDownloadedKbOf[] = " Kb of ";
inline constexpr char kDownloadedKbTail[] = " Kb ";
inline constexpr char kDownloadingComplete[] = " update: complete!";
// "Downloading update for <name>: Error!"
inline constexpr char kDownloadFailedHead[] = "Downloading update for ";
inline constexpr char kDownloadFailedTail[] = ": Error!";

// Log records of the proxy a service's transfers go through (see
// http/proxy_choice.h): each distinct one once per start of the program.
inline constexpr char kProxyMachineSetting[] =
    " Proxy in use: %s, the machine's WinHTTP proxy setting (bypass list: %s)\r\n";
inline constexpr char kProxyAutomatic[] =
    " Proxy in use: the system's automatic proxy configuration (no WinHTTP proxy is set for the machine)\r\n";
inline constexpr char kProxyDetected[] =
    " Proxy in use: %s, found by proxy auto-detection (bypass list: %s)\r\n";
inline constexpr char kProxyDetectedDirect[] =
    " Proxy in use: none, proxy auto-detection says the server is reached directly\r\n";
inline constexpr char kProxyNotDetected[] =
    " Proxy in use: none, proxy auto-detection found no proxy (error %lu)\r\n";
inline constexpr char kProxyNotSet[] =
    " Proxy in use: none, the proxy found by auto-detection could not be set (error %lu)\r\n";
inline constexpr char kProxySettingNotRead[] =
    " The machine's WinHTTP proxy setting could not be read (error %lu)\r\n";
// A 407 answer: a proxy on the way wants credentials, which the programs never give.
inline constexpr char kProxyAskedForCredentials[] =
    " A proxy asked for credentials (HTTP status 407, schemes: %s); none were given\r\n";

}  // namespace zvu::common_texts
