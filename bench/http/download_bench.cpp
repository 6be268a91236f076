// Times one XHttpClient::GetToFile download and prints its throughput.
//   http_download_bench <host> <object> <output file> [<log file>]
// With a log file the transfer log is written as the programs write it.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "http_client.h"
#include "program_log.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <host> <object> <output file> [<log file>]\n", argv[0]);
    return 2;
  }
  const std::string host = argv[1];
  const std::string object = argv[2];
  if (argc > 4) zvu::ProgramLog::Open(argv[4]);

  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  zvu::XHttpClient client;
  QueryPerformanceCounter(&start);
  if (client.Connect(std::wstring(host.begin(), host.end()), false, true) != 0) return 1;
  client.SetObject(std::wstring(object.begin(), object.end()));
  if (client.GetToFile(argv[3]) != 0) return 1;
  zvu::HttpState state;
  while ((state = client.GetHttpState()) != zvu::HttpState::Complete &&
         state != zvu::HttpState::Failed) {
    Sleep(1);
  }
  QueryPerformanceCounter(&end);
  zvu::ProgramLog::Close();

  const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) /
                         static_cast<double>(frequency.QuadPart);
  const double bytes = static_cast<double>(client.ReceivedBytes());
  std::printf("%.0f %.3f %s\n", bytes, seconds,
              state == zvu::HttpState::Complete ? "complete" : "failed");
  return state == zvu::HttpState::Complete ? 0 : 1;
}
