// Times the service's own download of an installer (FetchInstaller, the road
// of an installation through the service) and prints its throughput.
//   service_fetch_bench <host> <object> <output file> <log file>
// The transfer log is written as the service writes it; the progress goes
// nowhere (the service forwards it to the requesting client's pipe, at most
// once a poll). Prints "<bytes> <seconds> complete|failed".

#include <windows.h>

#include <cstdio>
#include <string>

#include "installer_fetch.h"
#include "program_log.h"

namespace {

class CountingProgress : public zvu::ServiceInstallProgress {
 public:
  void Received(uint64_t bytes, uint64_t) override { bytes_ = bytes; }
  void Installing() override {}
  uint64_t Bytes() const { return bytes_; }

 private:
  uint64_t bytes_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s <host> <object> <output file> <log file>\n", argv[0]);
    return 2;
  }
  const std::string host = argv[1];
  const std::string object = argv[2];
  zvu::ProgramLog::Open(argv[4]);

  zvu::UpdateEntry entry;
  entry.name = "Bench";
  entry.url = "http://" + host + object;
  const zvu::DownloadAddress address{std::wstring(host.begin(), host.end()),
                                     std::wstring(object.begin(), object.end())};
  CountingProgress progress;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const zvu::FetchResult result = zvu::FetchInstaller(entry, address, argv[3], progress);
  QueryPerformanceCounter(&end);
  zvu::ProgramLog::Close();

  const bool ok = result == zvu::FetchResult::kComplete;
  const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) /
                         static_cast<double>(frequency.QuadPart);
  std::printf("%llu %.3f %s\n", static_cast<unsigned long long>(progress.Bytes()), seconds,
              ok ? "complete" : "failed");
  return ok ? 0 : 1;
}
