#include "http_client.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "common_texts.h"
#include "format_text.h"
#include "notify_gate.h"
#include "program_log.h"
#include "transfer_core.h"

namespace zvu {
namespace http_detail {

// How long a destructor waits for WinHTTP to report its handles closed. A
// destructor that runs inside the handler of a sent message (e.g. its own
// notification) waits briefly: the worker that sent it holds a handle open
// until the handler returns.
constexpr ULONGLONG kCloseWaitMs = 5000;
constexpr ULONGLONG kCloseWaitInHandlerMs = 250;

ClientCore::ClientCore(XHttpClient* client)
    : owner(client), quiet(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

bool IsCurrent(const ClientCore& core, const Transfer& transfer) {
  return core.current == &transfer && transfer.live;
}

void CloseOutputFile(ClientCore& core, bool* flushed) {
  if (!core.outputFile) return;
  // Closed here rather than by the owner: whether the last bytes reached
  // the file is the answer.
  const bool ok = std::fclose(core.outputFile.release()) == 0;
  if (flushed != nullptr) *flushed = ok;
}

void DiscardOutputFile(ClientCore& core) {
  CloseOutputFile(core);
  // Neither an empty file nor the part that arrived is left behind, where it
  // could be taken for the whole installer.
  if (!core.outputPath.empty()) DeleteFileA(core.outputPath.c_str());
  core.outputPath.clear();
}

bool TakeIfFinished(ClientCore& core, Transfer& transfer) {
  if (transfer.live || transfer.freed || !transfer.awaitingClose.empty() ||
      transfer.callsInFlight != 0) {
    return false;
  }
  transfer.freed = true;
  --core.transfersAlive;
  return true;
}

void FreeTransfer(const std::shared_ptr<ClientCore>& core, Transfer* transfer) {
  delete transfer;
  SetEvent(core->quiet.get());
}

void CloseWinHttpHandles(const std::vector<HINTERNET>& handles) {
  for (HINTERNET handle : handles) WinHttpCloseHandle(handle);
}

std::wstring FindHeader(std::wstring_view headers, std::wstring_view name) {
  const auto lower = [](wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; };
  const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
  size_t start = headers.find(L"\r\n");  // the status line is no header
  while (start != std::wstring_view::npos && !name.empty()) {
    start += 2;
    size_t end = headers.find(L"\r\n", start);
    const std::wstring_view line =
        headers.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start);
    const size_t colon = line.find(L':');
    if (colon == name.size() &&
        std::equal(name.begin(), name.end(), line.begin(),
                   [&](wchar_t a, wchar_t b) { return lower(a) == lower(b); })) {
      std::wstring_view value = line.substr(colon + 1);
      while (!value.empty() && blank(value.front())) value.remove_prefix(1);
      while (!value.empty() && blank(value.back())) value.remove_suffix(1);
      return std::wstring(value);
    }
    start = end;
  }
  return {};
}

bool AttachCallback(HINTERNET handle, Transfer* transfer) {
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(transfer);
  if (!WinHttpSetOption(handle, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context))) {
    return false;
  }
  return WinHttpSetStatusCallback(handle, OnTransferStatus, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS,
                                  0) != WINHTTP_INVALID_STATUS_CALLBACK;
}

}  // namespace http_detail

using http_detail::Transfer;

UINT HttpClientNotifyMessage() {
  static const UINT message = RegisterWindowMessageA("UWM_HTTPCLIENT_CALLBACK_NOTIFY");
  return message;
}

XHttpClient::XHttpClient(DWORD accessType)
    : core_(std::make_shared<http_detail::ClientCore>(this)), accessType_(accessType) {
  ProgramLog::Write(common_texts::kStartLogging);
  Reset();
}

XHttpClient::~XHttpClient() {
  destroying_ = true;
  {
    std::lock_guard<std::mutex> guard(core_->lock);
    core_->notifyWindow = nullptr;
    core_->ownerGone = true;
  }
  CloseHandles();
  {
    std::lock_guard<std::mutex> guard(core_->lock);
    http_detail::DiscardOutputFile(*core_);
  }
  WaitForCallbacksToEnd();
}

// Waits until every transfer has been freed (WinHTTP reported all handles
// closed), boundedly: whatever WinHTTP reports later finds only the shared
// core. Notifications are another matter: this client's address must not
// reach a window once it is gone. A gated window drops late ones by itself
// (notify_gate.h), so only deliveries running in its handler on another
// thread are awaited; for a window without a gate every send under way is
// awaited. Both waits are unbounded, but neither can wait for this thread:
// messages sent to it are dispatched meanwhile, and handler frames of this
// very thread (a client destroyed in its own notification) are not awaited.
void XHttpClient::WaitForCallbacksToEnd() {
  const DWORD self = GetCurrentThreadId();
  const ULONGLONG deadline =
      GetTickCount64() +
      (InSendMessage() ? http_detail::kCloseWaitInHandlerMs : http_detail::kCloseWaitMs);
  for (;;) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    const ULONGLONG now = GetTickCount64();
    {
      std::lock_guard<std::mutex> guard(core_->lock);
      const bool gatesQuiet = core_->deliveriesInProgress == 0 ||
                              std::all_of(core_->gatedWindows.begin(),
                                          core_->gatedWindows.end(), [self](HWND window) {
                                            return GetWindowThreadProcessId(window, nullptr) ==
                                                   self;
                                          });
      const DWORD ungated = core_->ungatedWindowThreadId;
      const bool sendsQuiet = core_->notificationsInProgress == 0 || ungated == 0 ||
                              (ungated == self && now >= deadline);
      const bool transfersQuiet = core_->transfersAlive == 0 || now >= deadline;
      if (gatesQuiet && sendsQuiet && transfersQuiet) return;
    }
    HANDLE quiet = core_->quiet.get();
    const DWORD remaining =
        now >= deadline ? 50 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 50));
    if (quiet == nullptr ||
        MsgWaitForMultipleObjects(1, &quiet, FALSE, remaining, QS_SENDMESSAGE) == WAIT_FAILED) {
      Sleep(10);
    }
  }
}

void XHttpClient::Reset() {
  requestFlags_ = 0;
  host_.clear();
  requestHeaders_.clear();
  std::lock_guard<std::mutex> guard(core_->lock);
  core_->responseText.clear();
  core_->responseHeaders.clear();
  core_->receivedBytes.store(0);
  core_->contentLength.store(0);
  http_detail::DiscardOutputFile(*core_);
}

DWORD XHttpClient::OpenSession() {
  CloseHandles();
  SetHttpState(HttpState::Idle);
  Reset();
  port_ = secure_ ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  requestFlags_ = secure_ ? WINHTTP_FLAG_SECURE : 0;
  if (destroying_) return kHttpCannotStart;

  const HttpSession opened = OpenHttpSession(SystemProxyCalls(), ProgramProxyRecords(),
                                             agent_.c_str(), accessType_, sessionFlags_);
  if (opened.handle == nullptr) return GetLastError();
  HINTERNET session = opened.handle;
  proxyRoute_ = opened.route;
  auto* transfer = new Transfer(core_);
  if (!http_detail::AttachCallback(session, transfer)) {
    const DWORD error = GetLastError();
    // Without a callback the session reports no closing: free it directly.
    WinHttpSetStatusCallback(session, nullptr, 0, 0);
    WinHttpCloseHandle(session);
    delete transfer;
    return error != 0 ? error : ERROR_GEN_FAILURE;
  }
  std::lock_guard<std::mutex> guard(core_->lock);
  transfer->session = session;
  transfer->awaitingClose.push_back(session);
  core_->current = transfer;
  ++core_->transfersAlive;
  return 0;
}

DWORD XHttpClient::Connect(std::wstring_view host, bool secure, bool asynchronous) {
  secure_ = secure;
  sessionFlags_ = asynchronous ? WINHTTP_FLAG_ASYNC : 0;
  if (const DWORD error = OpenSession(); error != 0) return error;
  if (host.empty()) return ERROR_WINHTTP_INVALID_URL;

  Transfer* transfer = core_->current;  // only this thread changes it
  const std::wstring hostText(host);
  HINTERNET connection = WinHttpConnect(transfer->session, hostText.c_str(), port_, 0);
  if (connection == nullptr) return GetLastError();
  {
    std::lock_guard<std::mutex> guard(core_->lock);
    transfer->connection = connection;
    transfer->awaitingClose.push_back(connection);
  }
  if (!http_detail::AttachCallback(connection, transfer)) return GetLastError();
  host_ = hostText;
  return 0;
}

void XHttpClient::SetObject(std::wstring_view object) { object_.assign(object); }

void XHttpClient::SetRequestHeaders(std::wstring_view headers) { requestHeaders_.assign(headers); }

DWORD XHttpClient::Get() {
  Transfer* transfer = core_->current;
  if (destroying_ || transfer == nullptr || transfer->connection == nullptr ||
      transfer->requestValue != nullptr) {
    return kHttpCannotStart;
  }
  core_->mode.store(static_cast<std::int32_t>(TransferMode::Memory));
  return SendGet(*transfer);
}

DWORD XHttpClient::GetToFile(const std::string& localPath) {
  Transfer* transfer = core_->current;
  if (destroying_ || transfer == nullptr || transfer->connection == nullptr ||
      transfer->requestValue != nullptr) {
    return kHttpCannotStart;
  }
  core_->mode.store(static_cast<std::int32_t>(TransferMode::File));
  {
    // An earlier download's file still open never got its whole body.
    std::lock_guard<std::mutex> guard(core_->lock);
    http_detail::DiscardOutputFile(*core_);
  }
  UniqueFile file(std::fopen(localPath.c_str(), "wb"));
  if (!file) {
    // A folder that cannot be written or a full disk: the caller only sees
    // that the download did not start, so the log says why.
    core_->records.Add(
        FormatText(common_texts::kDownloadFileNotCreated, localPath.c_str(), errno), false);
    return kHttpCannotStart;
  }
  {
    std::lock_guard<std::mutex> guard(core_->lock);
    core_->outputFile = std::move(file);
    core_->outputPath = localPath;
    core_->receivedBytes.store(0);
  }
  const DWORD result = SendGet(*transfer);
  if (result != 0) {
    std::lock_guard<std::mutex> guard(core_->lock);
    http_detail::DiscardOutputFile(*core_);
  }
  return result;
}

DWORD XHttpClient::SendGet(Transfer& transfer) {
  HINTERNET request =
      WinHttpOpenRequest(transfer.connection, L"GET", object_.c_str(), nullptr,
                         WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, requestFlags_);
  if (request == nullptr) return GetLastError();
  {
    std::lock_guard<std::mutex> guard(core_->lock);
    transfer.request = request;
    transfer.requestValue = request;
    transfer.awaitingClose.push_back(request);
    transfer.conditional = !requestHeaders_.empty();
  }
  http_detail::AttachCallback(request, &transfer);
  if (proxyRoute_ == ProxyRoute::DetectPerRequest) {
    ApplyDetectedProxy(SystemProxyCalls(), ProgramProxyRecords(), agent_.c_str(), request,
                       RequestUrl(secure_, host_, port_, object_));
  }
  const wchar_t* headers =
      requestHeaders_.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : requestHeaders_.c_str();
  const DWORD headersLength = requestHeaders_.empty() ? 0 : static_cast<DWORD>(-1L);
  if (!WinHttpSendRequest(request, headers, headersLength, WINHTTP_NO_REQUEST_DATA, 0, 0,
                          reinterpret_cast<DWORD_PTR>(&transfer))) {
    return GetLastError();
  }
  return 0;
}

DWORD XHttpClient::Cancel() {
  {
    std::lock_guard<std::mutex> guard(core_->lock);
    http_detail::DiscardOutputFile(*core_);
  }
  CloseHandles();
  return 0;
}

void XHttpClient::CloseHandles() {
  std::vector<HINTERNET> toClose;
  Transfer* transfer = nullptr;
  bool finished = false;
  {
    std::lock_guard<std::mutex> guard(core_->lock);
    SetHttpState(HttpState::Closing);
    transfer = core_->current;
    core_->current = nullptr;
    if (transfer != nullptr) {
      transfer->live = false;
      for (HINTERNET* handle : {&transfer->request, &transfer->connection, &transfer->session}) {
        if (*handle != nullptr) toClose.push_back(*handle);
        *handle = nullptr;
      }
      if (transfer->callsInFlight > 0) {
        transfer->closeWhenIdle.insert(transfer->closeWhenIdle.end(), toClose.begin(),
                                       toClose.end());
        toClose.clear();
      }
      finished = http_detail::TakeIfFinished(*core_, *transfer);
    }
  }
  http_detail::CloseWinHttpHandles(toClose);
  if (finished) http_detail::FreeTransfer(core_, transfer);
}

void XHttpClient::SetNotifyWindow(HWND window) {
  const bool gated = window == nullptr || http_detail::InstallNotifyGate(core_, window);
  std::lock_guard<std::mutex> guard(core_->lock);
  core_->notifyWindow = window;
  if (!gated) core_->ungatedWindowThreadId = GetWindowThreadProcessId(window, nullptr);
}

HWND XHttpClient::NotifyWindow() const {
  std::lock_guard<std::mutex> guard(core_->lock);
  return core_->notifyWindow;
}

HttpState XHttpClient::GetHttpState() const {
  return static_cast<HttpState>(core_->state.load());
}

void XHttpClient::SetHttpState(HttpState state) {
  core_->state.store(static_cast<std::int32_t>(state));
}

std::uint64_t XHttpClient::ReceivedBytes() const { return core_->receivedBytes.load(); }

std::uint32_t XHttpClient::ContentLength() const { return core_->contentLength.load(); }

std::string XHttpClient::ResponseText() const {
  std::lock_guard<std::mutex> guard(core_->lock);
  return core_->responseText;
}

std::wstring XHttpClient::ResponseHeader(std::wstring_view name) const {
  std::wstring headers;
  {
    std::lock_guard<std::mutex> guard(core_->lock);
    headers = core_->responseHeaders;
  }
  return http_detail::FindHeader(headers, name);
}

TransferMode XHttpClient::Mode() const { return static_cast<TransferMode>(core_->mode.load()); }

}  // namespace zvu
