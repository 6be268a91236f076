#pragma once

// The test client of the registration pipe (zvu_pipe_client.exe beside the
// test program), and what the server and its log make of the clients.

#include <windows.h>

#include <string>

#include "child_process.h"
#include "client_pipe_server.h"
#include "pipe_protocol.h"
#include "wait_until.h"

namespace zvu::test {

// The command line of a test client that appends to the record file and
// ends within a minute at the latest.
inline std::string PipeClientCommand(const std::string& record, const std::string& arguments) {
  return Quote(ExeDir() + "zvu_pipe_client.exe") + " --record " + Quote(record) +
         " --lifetime 60000 " + arguments;
}

// Waits until the client has recorded its connection to the pipe.
inline bool WaitConnected(const std::string& record, DWORD clientId) {
  const std::string id = std::to_string(clientId);
  return WaitUntil([&] {
    for (const std::string& line : LinesStartingWith(record, "connected ")) {
      if (line == id) return true;
    }
    return false;
  }, 10000);
}

// Waits until the server's table holds the process; *pipe (may be null)
// receives the handle it holds for it.
inline bool WaitRegistered(ClientPipeServer& server, DWORD processId, HANDLE* pipe = nullptr) {
  return WaitUntil([&] { return server.Clients().Lookup(processId, pipe); }, 10000);
}

// The beginnings of the service log's records of what became of a
// connection from processId.
inline std::string RegisteredRecord(DWORD processId) {
  return "Client registered PID: " + std::to_string(processId) + " \r\n";
}
inline std::string RefusedRecord(DWORD processId) {
  return "Registration refused PID: " + std::to_string(processId) + " claimed PID: ";
}
inline std::string IncompleteRecord(DWORD processId) {
  return "Registration not completed PID: " + std::to_string(processId) + ", ";
}

// How often text stands in the log text.
inline size_t Occurrences(const std::string& log, const std::string& text) {
  size_t count = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
  return count;
}

// The handle that the client started with --share-read-end gave this
// process: the read end of its catalogue pipe, or null when it gave none.
inline HANDLE SharedReadEnd(const std::string& record, DWORD clientId) {
  const std::string prefix = std::to_string(clientId) + " ";
  for (const std::string& line : LinesStartingWith(record, "read-end ")) {
    if (line.rfind(prefix, 0) == 0) {
      return HandleFromWire(static_cast<uint32_t>(std::stoul(line.substr(prefix.size()))));
    }
  }
  return nullptr;
}

// Whether every write end of the pipe whose read end this is has been closed.
inline bool PipeBroken(HANDLE readEnd) {
  return !PeekNamedPipe(readEnd, nullptr, 0, nullptr, nullptr, nullptr) &&
         GetLastError() == ERROR_BROKEN_PIPE;
}

// How many bytes wait in the pipe for its reader.
inline DWORD BytesWaiting(HANDLE readEnd) {
  DWORD available = 0;
  return PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) ? available : 0;
}

}  // namespace zvu::test
