#pragma once

// Internals shared by XHttpClient's operations and its status callback.

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "transfer_records.h"
#include "unique_handle.h"

namespace zvu {
class XHttpClient;
}

namespace zvu::http_detail {

inline constexpr DWORD kReadSize = 8192;
// The body's progress reaches the notify window at most this often, as a
// completed read (the first one always). Each notification is a synchronous
// send to the window's thread; three for every read of kReadSize held a
// download to a small part of its speed. Every other state (connecting,
// failed, complete) is still sent on every status.
inline constexpr ULONGLONG kProgressNotifyIntervalMs = 30;
// Largest body kept in memory; a larger one fails the transfer instead of
// exhausting the process.
inline constexpr size_t kMaxResponseText = 64u * 1024 * 1024;

struct Transfer;

// The data a client shares with WinHTTP's worker threads. It outlives the
// client as long as one of its transfers still has handles open, so a late
// notification never reaches freed memory.
struct ClientCore {
  explicit ClientCore(XHttpClient* client);

  XHttpClient* const owner;  // only passed on as the notification's wParam
  std::atomic<std::int32_t> state{0};
  std::atomic<std::uint64_t> receivedBytes{0};
  std::atomic<std::uint32_t> contentLength{0};
  std::atomic<std::int32_t> mode{0};
  // The transfer log's records on their way to the program log; its own lock
  // is taken after this one where both are held.
  TransferRecords records;

  std::mutex lock;  // guards everything below; never held across WinHTTP calls that
                    // may call back, nor across SendMessage
  std::string responseText;
  std::wstring responseHeaders;  // raw headers of the current response, "\r\n" between lines
  UniqueFile outputFile;
  // The file outputFile writes; cleared once the body is in it whole. A body
  // that does not arrive whole leaves no file: DiscardOutputFile deletes it.
  std::string outputPath;
  HWND notifyWindow = nullptr;
  Transfer* current = nullptr;       // the transfer whose handles are open
  int transfersAlive = 0;            // transfers not yet freed
  int notificationsInProgress = 0;   // SendMessage calls under way
  // Set when the client's destruction begins: its address must reach no
  // window from then on (see notify_gate.h).
  bool ownerGone = false;
  int deliveriesInProgress = 0;      // gated notifications inside the window's handler
  std::vector<HWND> gatedWindows;    // windows whose gate holds a share of this core
  // A notify window that could not be gated (set from another thread than
  // its own): the destructor then waits for every send under way. 0: none.
  DWORD ungatedWindowThreadId = 0;
  UniqueHandle quiet;                // auto-reset; set when either count falls
  // When the body's progress (reading, storing) was last sent to the notify
  // window (GetTickCount64); see kProgressNotifyIntervalMs.
  ULONGLONG lastProgressNotifyTick = 0;
};

// One Connect's worth of WinHTTP handles. Its address is the handles' context
// value. It is freed once the client has closed it and WinHTTP has reported
// every handle closing.
struct Transfer {
  explicit Transfer(std::shared_ptr<ClientCore> owningCore) : core(std::move(owningCore)) {}

  std::shared_ptr<ClientCore> core;
  // Open handles, while the transfer is live (guarded by core->lock).
  HINTERNET session = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  HINTERNET requestValue = nullptr;  // the request handle's value, kept after closing
  bool live = true;
  bool freed = false;
  long long expectedLength = -1;     // Content-Length of the response, -1 when absent
  bool conditional = false;          // the request carried extra request headers
  std::vector<HINTERNET> awaitingClose;  // handles whose closing has not been reported
  int callsInFlight = 0;                 // WinHTTP calls on the request under way
  std::vector<HINTERNET> closeWhenIdle;  // closed by the last call in flight
  char buffer[kReadSize + 1] = {};
};

// Both with core.lock held.
bool IsCurrent(const ClientCore& core, const Transfer& transfer);
void CloseOutputFile(ClientCore& core, bool* flushed = nullptr);
// Closes the output file and deletes it unless the whole body reached it.
void DiscardOutputFile(ClientCore& core);
// With core.lock held: true when the transfer is done with and the caller must
// free it (FreeTransfer) after releasing the lock.
bool TakeIfFinished(ClientCore& core, Transfer& transfer);
void FreeTransfer(const std::shared_ptr<ClientCore>& core, Transfer* transfer);
void CloseWinHttpHandles(const std::vector<HINTERNET>& handles);

// The value of the first header called name (any case) in raw response
// headers ("\r\n" between lines, the status line first), trimmed; empty when
// there is none.
std::wstring FindHeader(std::wstring_view headers, std::wstring_view name);

// Installs the context value and the status callback on a handle.
bool AttachCallback(HINTERNET handle, Transfer* transfer);

void CALLBACK OnTransferStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                               DWORD length);

}  // namespace zvu::http_detail
