#pragma once

#include <cstdint>

namespace zvu {

// Where a transfer of XHttpClient stands. The numbers are shared with the
// service's poll and the wizard pages, which compare against them.
enum class HttpState : std::int32_t {
  Idle = 0,           // a session has been opened
  Failed = 2,         // request error, or the response cannot be used
  Reading = 6,        // a read has been issued
  Storing = 7,        // a read completed and its data is being stored
  Closing = 9,        // the connection is closing, or the client closed its handles
  Closed = 10,        // the connection has been closed
  Complete = 11,      // the whole body has arrived
  Acknowledged = 12,  // set by the download page once it handled completion
  // The server answered a conditional request (one sent with request headers,
  // see XHttpClient::SetRequestHeaders) with 304: the document the caller
  // already holds is still current. No body was read. A request without
  // request headers that is answered with 304 fails like any other status.
  NotModified = 13,
};

// Where the body of a response goes.
enum class TransferMode : std::int32_t {
  Memory = 0,  // appended to the response text
  File = 1,    // written to the output file
};

}  // namespace zvu
