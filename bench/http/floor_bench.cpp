// The floor for our downloads: the platform's own asynchronous WinHTTP loop
// with the transfer's 8192-byte reads and nothing else. No log records, no
// window messages, no locks: each "data available" issues one read into a
// fixed buffer, each completed read goes to the file with one WriteFile and
// asks again whether data is available.
//   http_floor_bench <host> <object> <output file>
// Timed as http_download_bench times GetToFile: from opening the session to
// the transfer's end. Prints "<bytes> <seconds> complete|failed".

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdio>
#include <string>

namespace {

constexpr DWORD kReadSize = 8192;  // the transfer's read size (transfer_core.h)

struct Floor {
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE done = nullptr;
  std::atomic<bool> ok{false};
  unsigned long long bytes = 0;  // only the callback that holds the one read in flight touches it
  char buffer[kReadSize];
};

void End(Floor& floor, bool ok) {
  floor.ok = ok;
  SetEvent(floor.done);
}

void CALLBACK OnStatus(HINTERNET request, DWORD_PTR context, DWORD status, LPVOID info,
                       DWORD length) {
  auto& floor = *reinterpret_cast<Floor*>(context);
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
      if (!WinHttpReceiveResponse(request, nullptr)) End(floor, false);
      break;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      if (!WinHttpQueryDataAvailable(request, nullptr)) End(floor, false);
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      if (*static_cast<DWORD*>(info) == 0) {
        End(floor, true);
      } else if (!WinHttpReadData(request, floor.buffer, kReadSize, nullptr)) {
        End(floor, false);
      }
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE: {
      if (length == 0) {
        End(floor, true);
        break;
      }
      DWORD written = 0;
      if (!WriteFile(floor.file, floor.buffer, length, &written, nullptr) || written != length) {
        End(floor, false);
        break;
      }
      floor.bytes += length;
      if (!WinHttpQueryDataAvailable(request, nullptr)) End(floor, false);
      break;
    }
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      End(floor, false);
      break;
    default:
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <host> <object> <output file>\n", argv[0]);
    return 2;
  }
  const std::string hostText = argv[1];
  const std::string objectText = argv[2];
  const std::wstring host(hostText.begin(), hostText.end());
  const std::wstring object(objectText.begin(), objectText.end());

  static Floor floor;  // 8 KiB buffer: not on the stack
  floor.done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  floor.file = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (floor.done == nullptr || floor.file == INVALID_HANDLE_VALUE) return 1;

  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  // The same session, connection and request as XHttpClient opens for a download.
  HINTERNET session = WinHttpOpen(L"XHttpClient", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                  WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
  HINTERNET connection =
      session ? WinHttpConnect(session, host.c_str(), INTERNET_DEFAULT_HTTP_PORT, 0) : nullptr;
  HINTERNET request =
      connection ? WinHttpOpenRequest(connection, L"GET", object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                 : nullptr;
  bool sent = false;
  if (request != nullptr &&
      WinHttpSetStatusCallback(request, OnStatus, WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS, 0) !=
          WINHTTP_INVALID_STATUS_CALLBACK) {
    sent = WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                              0, reinterpret_cast<DWORD_PTR>(&floor)) != FALSE;
  }
  if (sent) WaitForSingleObject(floor.done, INFINITE);
  QueryPerformanceCounter(&end);

  // No callback runs any more once the request has ended; the handles are
  // closed without a callback, so none reaches freed memory.
  if (request != nullptr) {
    WinHttpSetStatusCallback(request, nullptr, 0, 0);
    WinHttpCloseHandle(request);
  }
  if (connection != nullptr) WinHttpCloseHandle(connection);
  if (session != nullptr) WinHttpCloseHandle(session);
  CloseHandle(floor.file);

  const bool ok = sent && floor.ok;
  const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) /
                         static_cast<double>(frequency.QuadPart);
  std::printf("%llu %.3f %s\n", floor.bytes, seconds, ok ? "complete" : "failed");
  return ok ? 0 : 1;
}
