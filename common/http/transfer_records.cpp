#include "transfer_records.h"

#include <new>

#include "program_log.h"

namespace zvu::http_detail {

TransferRecords::TransferRecords()
    : timer_(CreateThreadpoolTimer(&TransferRecords::OnTimer, this, nullptr)) {}

TransferRecords::~TransferRecords() {
  timer_.reset();  // no callback runs from here on
  std::lock_guard<std::mutex> guard(lock_);
  WriteHeld();
}

void TransferRecords::Add(std::string_view record, bool hold) {
  std::lock_guard<std::mutex> guard(lock_);
  const bool first = held_.empty();
  hold = hold && timer_;
  if (first && !hold) {
    ProgramLog::Write(record);
    return;
  }
  try {
    held_.append(record);
  } catch (const std::bad_alloc&) {
    WriteHeld();
    ProgramLog::Write(record);
    return;
  }
  if (!hold || held_.size() >= kRecordBatchBytes) {
    WriteHeld();
  } else if (first) {
    // Relative due time, in 100-nanosecond units.
    ULARGE_INTEGER due;
    due.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(kRecordHoldMs) * 10000);
    FILETIME dueTime{due.LowPart, due.HighPart};
    SetThreadpoolTimer(timer_.get(), &dueTime, 0, 0);
  }
}

void TransferRecords::Flush() {
  std::lock_guard<std::mutex> guard(lock_);
  WriteHeld();
}

void CALLBACK TransferRecords::OnTimer(PTP_CALLBACK_INSTANCE, void* context, PTP_TIMER) {
  static_cast<TransferRecords*>(context)->Flush();
}

void TransferRecords::WriteHeld() {
  if (held_.empty()) return;
  ProgramLog::Write(held_);
  held_.clear();
}

}  // namespace zvu::http_detail
