#pragma once

#include <windows.h>

#include <cstdint>

namespace zvu {

// The named pipe on which clients register with the service.
inline constexpr char kRegistrationPipeName[] =
    "\\\\.\\pipe\\LA_7D259B6B-2ACA-4f32-96E2-D6830BC5C532";
inline constexpr DWORD kRegistrationPipeMaxInstances = PIPE_UNLIMITED_INSTANCES;
inline constexpr DWORD kRegistrationPipeOutBufferSize = 4;  // service to client
inline constexpr DWORD kRegistrationPipeInBufferSize = 8;   // client to service
inline constexpr DWORD kRegistrationPipeDefaultTimeoutMs = 200;
// What a client end of the service's pipes asks for: read data and
// attributes, and write data. Never GENERIC_WRITE: for a pipe it means
// FILE_GENERIC_WRITE, which holds FILE_APPEND_DATA, the bit of
// FILE_CREATE_PIPE_INSTANCE, and the pipes grant interactive users every
// right of FILE_GENERIC_READ | FILE_GENERIC_WRITE but that one, so an open
// asking for it would be checked for a right they do not hold. A client end
// so opened stays in byte read mode: changing the mode needs more.
inline constexpr DWORD kPipeClientAccess = GENERIC_READ | FILE_WRITE_DATA;
// How long a client that waits for a busy pipe keeps trying.
inline constexpr DWORD kClientBusyPipeWaitMs = 20000;

// Service hello: the service's process id (4 bytes, little-endian).
inline constexpr DWORD kHelloSize = 4;
// Registration: client process id, then the handle value (valid in the
// service's process) of the write end of the client's catalogue pipe.
inline constexpr DWORD kRegistrationSize = 8;

// Ends every catalogue in the catalogue pipe.
inline constexpr unsigned char kCatalogueEndMarker = 0xFF;
// Buffer size hint of the client's catalogue pipe and its read chunk.
inline constexpr DWORD kClientCataloguePipeSize = 10;
inline constexpr DWORD kClientReadChunk = 100;

inline void PutUint32(unsigned char* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline uint32_t GetUint32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// A handle value as it travels on the wire, and back.
inline HANDLE HandleFromWire(uint32_t value) {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}
inline uint32_t HandleToWire(HANDLE handle) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle));
}

}  // namespace zvu
