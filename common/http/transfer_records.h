#pragma once

// The transfer log's records of one XHttpClient, on their way to the program
// log.

#include <windows.h>

#include <mutex>
#include <string>
#include <string_view>

#include "unique_handle.h"

namespace zvu::http_detail {

// The longest a held record waits before it is written (see TransferRecords).
inline constexpr DWORD kRecordHoldMs = 100;
// Held records are written once they fill this many bytes.
inline constexpr size_t kRecordBatchBytes = 16 * 1024;

// A body of a few hundred megabytes is tens of thousands of 8192-byte reads,
// and each read brings up to four records (data available, read, and
// WinHTTP's own receiving and received). Written one by one, each with a
// write to the file, they cost about as much time as the reads themselves.
// So the records of the body's reads are held and written together: every
// record, in the order given, reaches the program log with one write per
// batch, at the latest kRecordHoldMs after the batch's first record (a
// thread-pool timer writes it when no further record comes, e.g. while the
// server sends nothing), or once the batch holds kRecordBatchBytes. A record
// that is not held is written at once, after everything held before it.
// Records of other writers in the program may thus come before held records
// that are at most kRecordHoldMs older. Without a timer (none could be made)
// nothing is held.
class TransferRecords {
 public:
  TransferRecords();
  // Writes what is still held.
  ~TransferRecords();
  TransferRecords(const TransferRecords&) = delete;
  TransferRecords& operator=(const TransferRecords&) = delete;

  // Adds one record (its whole text, line end included).
  void Add(std::string_view record, bool hold);
  // Writes every held record now.
  void Flush();

 private:
  static void CALLBACK OnTimer(PTP_CALLBACK_INSTANCE instance, void* context, PTP_TIMER timer);
  void WriteHeld();  // lock_ held

  // Guards held_, and is held across the write of a batch so that batches
  // reach the file in their order. Taken after ClientCore::lock where both
  // are held; nothing is called under it that could call back.
  std::mutex lock_;
  std::string held_;
  // Declared last: its end waits for a running callback, which takes lock_.
  UniqueThreadpoolTimer timer_;
};

}  // namespace zvu::http_detail
