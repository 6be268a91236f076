#include "registration_pipe_instance.h"

#include "pipe_protocol.h"

namespace zvu {

HANDLE CreateRegistrationPipeInstance(bool first, SECURITY_ATTRIBUTES* security) {
  DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
  if (first) openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
  return CreateNamedPipeA(kRegistrationPipeName, openMode,
                          PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                          kRegistrationPipeMaxInstances, kRegistrationPipeOutBufferSize,
                          kRegistrationPipeInBufferSize, kRegistrationPipeDefaultTimeoutMs, security);
}

}  // namespace zvu
