#include "appid_registry.h"

#include "registry_script.h"
#include "unique_handle.h"

namespace zvu {
namespace {

bool IsGone(LONG error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool ParseAppIdScript(std::string_view scriptText, RegistryScript& script) {
  RegistryScriptError error;
  return ParseRegistryScript(scriptText, {{"APPID", kServiceAppId}}, script, error);
}

LONG DeleteLocalServiceValue(HKEY appIdKey) {
  const LONG result = RegDeleteValueA(appIdKey, kLocalServiceValue);
  return IsGone(result) ? ERROR_SUCCESS : result;
}

}  // namespace

LONG WriteAppIdEntries(HKEY classesRoot, std::string_view scriptText) {
  RegistryScript script;
  if (!ParseAppIdScript(scriptText, script)) return ERROR_INVALID_DATA;
  LONG result = WriteRegistryScript(classesRoot, script);
  if (result != ERROR_SUCCESS) return result;

  UniqueRegKey appIdRoot;
  result = RegOpenKeyExA(classesRoot, "AppID", 0, KEY_WRITE, appIdRoot.put());
  if (result != ERROR_SUCCESS) return result;
  UniqueRegKey appIdKey;
  result = RegCreateKeyExA(appIdRoot.get(), kServiceAppId, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_WRITE, nullptr, appIdKey.put(), nullptr);
  if (result != ERROR_SUCCESS) return result;
  return DeleteLocalServiceValue(appIdKey.get());
}

LONG WriteLocalServiceValue(HKEY classesRoot, std::string_view serviceName) {
  UniqueRegKey appIdRoot;
  LONG result = RegCreateKeyExA(classesRoot, "AppID", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_WRITE, nullptr, appIdRoot.put(), nullptr);
  if (result != ERROR_SUCCESS) return result;
  UniqueRegKey appIdKey;
  result = RegCreateKeyExA(appIdRoot.get(), kServiceAppId, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_WRITE, nullptr, appIdKey.put(), nullptr);
  if (result != ERROR_SUCCESS) return result;
  const std::string name(serviceName);
  return RegSetValueExA(appIdKey.get(), kLocalServiceValue, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(name.c_str()),
                        static_cast<DWORD>(name.size() + 1));
}

LONG RemoveAppIdEntries(HKEY classesRoot, std::string_view scriptText) {
  RegistryScript script;
  if (!ParseAppIdScript(scriptText, script)) return ERROR_INVALID_DATA;

  UniqueRegKey appIdRoot;
  LONG result = RegOpenKeyExA(classesRoot, "AppID", 0, KEY_WRITE, appIdRoot.put());
  if (result == ERROR_SUCCESS) {
    UniqueRegKey appIdKey;
    result = RegOpenKeyExA(appIdRoot.get(), kServiceAppId, 0, KEY_WRITE, appIdKey.put());
    if (result == ERROR_SUCCESS) result = DeleteLocalServiceValue(appIdKey.get());
  }
  if (result != ERROR_SUCCESS && !IsGone(result)) return result;
  return RemoveRegistryScript(classesRoot, script);
}

LONG ReadLocalServiceFlag(HKEY classesRoot, bool& localService) {
  localService = false;
  UniqueRegKey appIdRoot;
  LONG result = RegOpenKeyExA(classesRoot, "AppID", 0, KEY_READ, appIdRoot.put());
  if (result != ERROR_SUCCESS) return result;
  UniqueRegKey appIdKey;
  result = RegOpenKeyExA(appIdRoot.get(), kServiceAppId, 0, KEY_READ, appIdKey.put());
  if (result != ERROR_SUCCESS) return result;
  char value[260];
  DWORD size = sizeof(value);
  localService = RegQueryValueExA(appIdKey.get(), kLocalServiceValue, nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
  return ERROR_SUCCESS;
}

}  // namespace zvu
