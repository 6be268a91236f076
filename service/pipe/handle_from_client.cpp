#include "handle_from_client.h"

namespace zvu {

UniqueHandle CopyHandleFromClient(DWORD clientProcessId, HANDLE valueInClient) {
  if (clientProcessId == 0 || valueInClient == nullptr) return UniqueHandle();
  UniqueHandle client(OpenProcess(PROCESS_DUP_HANDLE, FALSE, clientProcessId));
  if (!client) return UniqueHandle();
  HANDLE copy = nullptr;
  if (!DuplicateHandle(client.get(), valueInClient, GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return UniqueHandle();
  }
  return UniqueHandle(copy);
}

}  // namespace zvu
