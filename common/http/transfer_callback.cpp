// The status callback that drives a transfer of XHttpClient.

#include <algorithm>
#include <cstring>
#include <new>

#include "common_texts.h"
#include "format_text.h"
#include "http_client.h"
#include "program_log.h"
#include "status_text.h"
#include "transfer_core.h"

namespace zvu::http_detail {
namespace {

enum class FollowUp { None, ReceiveResponse, QueryDataAvailable, ReadData };

// A status of a handle that belongs to no transfer.
void LogRecord(const std::string& message) { ProgramLog::Printf(common_texts::kTransferRecord, message.c_str()); }

// A status's record in the transfer's log.
void LogRecord(ClientCore& core, const std::string& message, bool hold) {
  core.records.Add(FormatText(common_texts::kTransferRecord, message.c_str()), hold);
}

// The statuses that every read of the body brings; their records may be held
// while the body arrives (see TransferRecords).
bool IsBodyStatus(DWORD status) {
  return status == WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE ||
         status == WINHTTP_CALLBACK_STATUS_READ_COMPLETE ||
         status == WINHTTP_CALLBACK_STATUS_RECEIVING_RESPONSE ||
         status == WINHTTP_CALLBACK_STATUS_RESPONSE_RECEIVED;
}

void SetState(ClientCore& core, HttpState state) {
  core.state.store(static_cast<std::int32_t>(state));
}

bool IsFinal(HttpState state) {
  return state == HttpState::Failed || state == HttpState::Complete ||
         state == HttpState::Acknowledged || state == HttpState::NotModified;
}

// Closing and closed reports of the connection may come at any time; they do
// not hide an outcome that a poller still has to see.
void SetConnectionState(ClientCore& core, HttpState state) {
  if (!IsFinal(static_cast<HttpState>(core.state.load()))) SetState(core, state);
}

void Fail(ClientCore& core) {
  // The transfer's records so far are in the log before anyone sees the end.
  core.records.Flush();
  // Gone before the state says so: whoever sees the failure finds no file.
  DiscardOutputFile(core);
  SetState(core, HttpState::Failed);
}

// No more data: complete, unless the body is shorter than announced or the
// file could not be written out.
void Finish(ClientCore& core, const Transfer& transfer) {
  core.records.Flush();
  bool flushed = true;
  CloseOutputFile(core, &flushed);
  const std::uint64_t received = core.receivedBytes.load();
  if (transfer.expectedLength >= 0 &&
      received != static_cast<std::uint64_t>(transfer.expectedLength)) {
    core.records.Add(FormatText(common_texts::kConnectionEndedEarly,
                                static_cast<unsigned long long>(received), transfer.expectedLength),
                     false);
    DiscardOutputFile(core);
    SetState(core, HttpState::Failed);
    return;
  }
  if (flushed) {
    core.outputPath.clear();  // the whole body: the file stays
  } else {
    DiscardOutputFile(core);
  }
  SetState(core, flushed ? HttpState::Complete : HttpState::Failed);
}

bool QueryNumber(HINTERNET request, DWORD query, DWORD* value) {
  DWORD size = sizeof(*value);
  return WinHttpQueryHeaders(request, query | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, value, &size,
                             WINHTTP_NO_HEADER_INDEX) != FALSE;
}

// Keeps the response's raw headers for ResponseHeader; headers that cannot
// be read, or that are unreasonably large, are simply not kept.
void KeepResponseHeaders(ClientCore& core, const Transfer& transfer) {
  constexpr DWORD kMaxHeaderBytes = 64 * 1024;
  core.responseHeaders.clear();
  DWORD size = 0;
  if (WinHttpQueryHeaders(transfer.request, WINHTTP_QUERY_RAW_HEADERS_CRLF,
                          WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                          WINHTTP_NO_HEADER_INDEX) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0 || size > kMaxHeaderBytes) {
    return;
  }
  std::wstring headers(size / sizeof(wchar_t) + 1, L'\0');
  DWORD filled = static_cast<DWORD>(headers.size() * sizeof(wchar_t));
  if (!WinHttpQueryHeaders(transfer.request, WINHTTP_QUERY_RAW_HEADERS_CRLF,
                           WINHTTP_HEADER_NAME_BY_INDEX, headers.data(), &filled,
                           WINHTTP_NO_HEADER_INDEX)) {
    return;
  }
  headers.resize(std::min<size_t>(filled / sizeof(wchar_t), headers.size()));
  core.responseHeaders = std::move(headers);
}

FollowUp OnHeaders(ClientCore& core, Transfer& transfer) {
  DWORD statusCode = 0;
  if (!QueryNumber(transfer.request, WINHTTP_QUERY_STATUS_CODE, &statusCode)) {
    // Without a status nothing says the body is the document asked for.
    core.records.Add(common_texts::kNoReadableStatus, false);
    Fail(core);
    return FollowUp::None;
  }
  try {
    KeepResponseHeaders(core, transfer);
  } catch (const std::bad_alloc&) {
    core.responseHeaders.clear();
  }
  if (statusCode == HTTP_STATUS_NOT_MODIFIED && transfer.conditional) {
    // The answer to a conditional request: what the caller holds is current.
    core.records.Add(common_texts::kNotModified, false);
    SetState(core, HttpState::NotModified);
    return FollowUp::None;
  }
  if (statusCode < 200 || statusCode > 299) {
    core.records.Add(
        FormatText(common_texts::kHttpStatus, static_cast<unsigned long>(statusCode)), false);
    // The service's machine account has no credentials to give a proxy: the
    // administrator has to let it pass (docs/SERVER.md).
    if (statusCode == HTTP_STATUS_PROXY_AUTH_REQ) {
      core.records.Add(ProxyChallengeRecord(transfer.request), false);
    }
    Fail(core);
    return FollowUp::None;
  }
  DWORD length = 0;
  const bool hasLength = QueryNumber(transfer.request, WINHTTP_QUERY_CONTENT_LENGTH, &length);
  transfer.expectedLength = hasLength ? static_cast<long long>(length) : -1;
  if (static_cast<TransferMode>(core.mode.load()) == TransferMode::File) {
    core.contentLength.store(0);
    if (!hasLength) {
      Fail(core);
      return FollowUp::None;
    }
    core.contentLength.store(length);
  }
  return FollowUp::QueryDataAvailable;
}

FollowUp OnDataAvailable(ClientCore& core, Transfer& transfer, DWORD available) {
  if (available == 0) {
    Finish(core, transfer);
    return FollowUp::None;
  }
  std::memset(transfer.buffer, 0, sizeof(transfer.buffer));
  SetState(core, HttpState::Reading);
  return FollowUp::ReadData;
}

FollowUp OnReadComplete(ClientCore& core, Transfer& transfer, DWORD length) {
  if (length == 0) {
    Finish(core, transfer);
    return FollowUp::None;
  }
  if (length > kReadSize) {
    Fail(core);
    return FollowUp::None;
  }
  SetState(core, HttpState::Storing);
  if (static_cast<TransferMode>(core.mode.load()) == TransferMode::Memory) {
    // The body is kept as text: a NUL inside a chunk ends that chunk.
    transfer.buffer[length] = '\0';
    const size_t textLength = strnlen(transfer.buffer, length);
    if (core.responseText.size() + textLength > kMaxResponseText) {
      Fail(core);
      return FollowUp::None;
    }
    core.responseText.append(transfer.buffer, textLength);
  } else if (!core.outputFile ||
             std::fwrite(transfer.buffer, 1, length, core.outputFile.get()) != length) {
    core.records.Add(common_texts::kDownloadNotWritten, false);
    Fail(core);
    return FollowUp::None;
  }
  core.receivedBytes.fetch_add(length);
  SetState(core, HttpState::Reading);
  return FollowUp::QueryDataAvailable;
}

DWORD ReadDword(const void* info, DWORD length) {
  DWORD value = 0;
  if (info != nullptr && length >= sizeof(value)) std::memcpy(&value, info, sizeof(value));
  return value;
}

// Acts on one status of a live transfer; core.lock is held.
FollowUp Act(ClientCore& core, Transfer& transfer, DWORD status, const void* info,
             DWORD length) {
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_CLOSING_CONNECTION:
      SetConnectionState(core, HttpState::Closing);
      return FollowUp::None;
    case WINHTTP_CALLBACK_STATUS_CONNECTION_CLOSED:
      SetConnectionState(core, HttpState::Closed);
      return FollowUp::None;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      Fail(core);
      return FollowUp::None;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
      return FollowUp::ReceiveResponse;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      return OnHeaders(core, transfer);
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      return OnDataAvailable(core, transfer, ReadDword(info, length));
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      return OnReadComplete(core, transfer, length);
    default:
      return FollowUp::None;
  }
}

// Issues the next WinHTTP call on the request without holding the lock (the
// call may report back on this very thread). The handle is not closed while
// the call runs: CloseHandles leaves it to the last call in flight.
void RunFollowUp(const std::shared_ptr<ClientCore>& core, Transfer& transfer, FollowUp followUp) {
  HINTERNET request = nullptr;
  {
    std::lock_guard<std::mutex> guard(core->lock);
    if (!IsCurrent(*core, transfer) || transfer.request == nullptr) return;
    request = transfer.request;
    ++transfer.callsInFlight;
  }
  BOOL issued = FALSE;
  switch (followUp) {
    case FollowUp::ReceiveResponse: issued = WinHttpReceiveResponse(request, nullptr); break;
    case FollowUp::QueryDataAvailable: issued = WinHttpQueryDataAvailable(request, nullptr); break;
    case FollowUp::ReadData:
      issued = WinHttpReadData(request, transfer.buffer, kReadSize, nullptr);
      break;
    case FollowUp::None: issued = TRUE; break;
  }
  std::vector<HINTERNET> toClose;
  bool finished = false;
  {
    std::lock_guard<std::mutex> guard(core->lock);
    --transfer.callsInFlight;
    // A call that cannot be issued would leave the transfer waiting forever.
    if (!issued && IsCurrent(*core, transfer)) Fail(*core);
    if (transfer.callsInFlight == 0) toClose.swap(transfer.closeWhenIdle);
    finished = TakeIfFinished(*core, transfer);
  }
  CloseWinHttpHandles(toClose);
  if (finished) FreeTransfer(core, &transfer);
}

void NoteHandleClosing(const std::shared_ptr<ClientCore>& core, Transfer* transfer,
                       HINTERNET handle, const std::string& message) {
  bool wasRequest = false;
  bool finished = false;
  {
    std::lock_guard<std::mutex> guard(core->lock);
    auto& waiting = transfer->awaitingClose;
    auto found = std::find(waiting.begin(), waiting.end(), handle);
    if (found != waiting.end()) waiting.erase(found);
    wasRequest = handle == transfer->requestValue;
    finished = TakeIfFinished(*core, *transfer);
  }
  if (finished) FreeTransfer(core, transfer);
  // Only the request's closing is a record of the transfer log.
  if (wasRequest) LogRecord(*core, message, false);
}

void Notify(const std::shared_ptr<ClientCore>& core, Transfer& transfer, DWORD status) {
  HWND window = nullptr;
  {
    std::lock_guard<std::mutex> guard(core->lock);
    if (!IsCurrent(*core, transfer) || core->notifyWindow == nullptr || core->ownerGone) return;
    const auto state = static_cast<HttpState>(core->state.load());
    if (state == HttpState::Reading || state == HttpState::Storing) {
      // While the body arrives, a completed read stands for the others.
      if (status != WINHTTP_CALLBACK_STATUS_READ_COMPLETE) return;
      const ULONGLONG now = GetTickCount64();
      if (core->lastProgressNotifyTick != 0 &&
          now - core->lastProgressNotifyTick < kProgressNotifyIntervalMs) {
        return;
      }
      core->lastProgressNotifyTick = now;
    }
    window = core->notifyWindow;
    ++core->notificationsInProgress;
  }
  SendMessageW(window, HttpClientNotifyMessage(), reinterpret_cast<WPARAM>(core->owner),
               static_cast<LPARAM>(status));
  {
    std::lock_guard<std::mutex> guard(core->lock);
    --core->notificationsInProgress;
  }
  SetEvent(core->quiet.get());
}

}  // namespace

void CALLBACK OnTransferStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                               DWORD length) {
  const std::string message = DescribeStatus(status, info, length);
  auto* transfer = reinterpret_cast<Transfer*>(context);
  if (transfer == nullptr) {
    LogRecord(message);
    return;
  }
  // A transfer lives until its last handle's closing has been reported, and
  // that report is the last notification of the handle.
  const std::shared_ptr<ClientCore> core = transfer->core;
  if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
    NoteHandleClosing(core, transfer, handle, message);
    return;
  }
  FollowUp followUp = FollowUp::None;
  bool hold = false;
  {
    std::lock_guard<std::mutex> guard(core->lock);
    if (IsCurrent(*core, *transfer)) {
      followUp = Act(*core, *transfer, status, info, length);
      hold = IsBodyStatus(status) && !IsFinal(static_cast<HttpState>(core->state.load()));
    }
  }
  // Recorded before the next call, whose own statuses may come on this very
  // thread before it returns: the log keeps the order of events.
  LogRecord(*core, message, hold);
  if (followUp != FollowUp::None) RunFollowUp(core, *transfer, followUp);
  Notify(core, *transfer, status);
}

}  // namespace zvu::http_detail
