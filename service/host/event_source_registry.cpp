#include "event_source_registry.h"

#include "unique_handle.h"

namespace zvu {
namespace {

constexpr DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

}  // namespace

std::string EventSourceKeyPath(std::string_view source) {
  std::string path = kApplicationLogKey;
  path += '\\';
  path += source;
  return path;
}

LONG WriteEventSourceEntry(HKEY machineRoot, std::string_view source, std::string_view messageFile) {
  HKEY opened = nullptr;
  LONG result = RegCreateKeyExA(machineRoot, EventSourceKeyPath(source).c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &opened, nullptr);
  if (result != ERROR_SUCCESS) return result;
  const UniqueRegKey key(opened);
  const std::string file(messageFile);
  result = RegSetValueExA(key.get(), "EventMessageFile", 0, REG_EXPAND_SZ,
                          reinterpret_cast<const BYTE*>(file.c_str()),
                          static_cast<DWORD>(file.size() + 1));
  if (result != ERROR_SUCCESS) return result;
  return RegSetValueExA(key.get(), "TypesSupported", 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&kTypesSupported), sizeof(kTypesSupported));
}

LONG RemoveEventSourceEntry(HKEY machineRoot, std::string_view source) {
  const LONG result = RegDeleteKeyA(machineRoot, EventSourceKeyPath(source).c_str());
  return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}

}  // namespace zvu
