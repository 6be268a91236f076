#include "registration_check.h"

#include "unique_handle.h"

namespace zvu {
namespace {

bool IsRunningProcess(DWORD processId) {
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  // A process we may not inspect still exists.
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD exitCode = 0;
  if (GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE) return false;
  return true;
}

bool IsPipeWriteEnd(HANDLE pipe) {
  if (pipe == nullptr || pipe == INVALID_HANDLE_VALUE) return false;
  DWORD handleFlags = 0;
  if (!GetHandleInformation(pipe, &handleFlags)) return false;
  if (GetFileType(pipe) != FILE_TYPE_PIPE) return false;
  DWORD pipeFlags = 0;
  if (!GetNamedPipeInfo(pipe, &pipeFlags, nullptr, nullptr, nullptr)) return false;
  // The client hands over the end it writes through; a server end would be
  // one of the service's own pipes.
  return (pipeFlags & PIPE_SERVER_END) == 0;
}

}  // namespace

bool IsAcceptableRegistration(const ClientTable& table, DWORD serviceProcessId,
                              DWORD clientProcessId, HANDLE pipe) {
  if (clientProcessId == 0 || clientProcessId == serviceProcessId) return false;
  if (!IsPipeWriteEnd(pipe)) return false;
  HANDLE known = nullptr;
  const bool sameClientSameHandle = table.Lookup(clientProcessId, &known) && known == pipe;
  if (!sameClientSameHandle && table.HoldsHandle(pipe)) return false;
  return IsRunningProcess(clientProcessId);
}

}  // namespace zvu
