#pragma once

// Keeps a destroyed XHttpClient's address away from its notify window.
//
// Notifications are sent from WinHTTP's worker threads with the client's
// address as wParam. A worker may be about to send (or be blocked sending)
// when the client is destroyed, and the send then arrives afterwards. The
// gate subclasses the notify window, on the window's own thread, and drops
// every notification of a client that has begun its destruction; it holds
// its own share of the client's core, so it stays valid until the window
// itself is destroyed.

#include <windows.h>

#include <memory>

namespace zvu::http_detail {

struct ClientCore;

// Installs the gate on window for core's client. Only the window's own
// thread can subclass it: false when called on another thread (or the
// subclassing fails), and then the client's destructor waits for every
// notification under way instead. Installing twice on one window is a no-op.
bool InstallNotifyGate(const std::shared_ptr<ClientCore>& core, HWND window);

}  // namespace zvu::http_detail
