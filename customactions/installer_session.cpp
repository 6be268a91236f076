#include "installer_session.h"

#include <msiquery.h>

#include <cwchar>
#include <vector>

#include "custom_action_data.h"
#include "hooks_texts.h"
#include "setup_log.h"
#include "unique_handle.h"

namespace zvu::hooks {
namespace {
constexpr DWORD kPropertyCapacity = MAX_PATH;  // characters, terminator included
}

void ShowActionText(MSIHANDLE session, const std::wstring& text) {
  UniqueMsiHandle record(MsiCreateRecord(3));
  if (!record) return;
  MsiRecordSetStringW(record.get(), 1, L"MyCustomAction");
  MsiRecordSetStringW(record.get(), 2, text.c_str());
  MsiRecordSetStringW(record.get(), 3, L"");
  MsiProcessMessage(session, INSTALLMESSAGE_ACTIONSTART, record.get());
}

bool RunsDeferred(MSIHANDLE session) {
  return MsiGetMode(session, MSIRUNMODE_SCHEDULED) || MsiGetMode(session, MSIRUNMODE_ROLLBACK) ||
         MsiGetMode(session, MSIRUNMODE_COMMIT);
}

namespace {

// The whole of a property of any length; false when it cannot be read.
bool ReadWholeProperty(MSIHANDLE session, const wchar_t* name, std::wstring* value) {
  wchar_t empty[1] = {};
  DWORD length = 0;
  UINT read = MsiGetPropertyW(session, name, empty, &length);
  if (read == ERROR_SUCCESS) {
    value->clear();
    return true;
  }
  if (read != ERROR_MORE_DATA) return false;
  // The count excludes the terminator; the property may grow in between,
  // which the second call reports again.
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  DWORD capacity = static_cast<DWORD>(buffer.size());
  read = MsiGetPropertyW(session, name, buffer.data(), &capacity);
  if (read != ERROR_SUCCESS) return false;
  if (capacity >= buffer.size()) capacity = static_cast<DWORD>(buffer.size() - 1);
  value->assign(buffer.data(), capacity);
  return true;
}

void LogFolderEntry(const wchar_t* format, const wchar_t* name) {
  wchar_t entry[256] = {};
  swprintf(entry, 256, format, name);
  Log(entry);
}

// A deferred action sees only CustomActionData, ProductCode and UserSID; its
// folders come from CustomActionData.
FolderProperty ReadDeferredFolder(MSIHANDLE session, const wchar_t* name) {
  FolderProperty property;
  std::wstring data;
  if (!ReadWholeProperty(session, L"CustomActionData", &data)) return property;
  const DataValue found = FindCustomActionDataValue(data, name);
  if (found.lookup == DataLookup::Ambiguous) {
    LogFolderEntry(texts::kDeferredFolderAmbiguousEntry, name);
    return property;
  }
  property.readable = true;
  property.value = found.value;
  if (property.value.empty()) LogFolderEntry(texts::kDeferredFolderEmptyEntry, name);
  return property;
}

}  // namespace

FolderProperty ReadFolderProperty(MSIHANDLE session, const wchar_t* name) {
  if (RunsDeferred(session)) return ReadDeferredFolder(session, name);
  FolderProperty property;
  wchar_t buffer[kPropertyCapacity] = {};
  DWORD length = kPropertyCapacity;
  if (MsiGetPropertyW(session, name, buffer, &length) != ERROR_SUCCESS) return property;
  property.readable = true;
  // The engine terminates the text; the count guards against one that does not.
  if (length >= kPropertyCapacity) length = kPropertyCapacity - 1;
  buffer[length] = L'\0';
  property.value = buffer;
  return property;
}

int SendProgress(MSIHANDLE session, MSIHANDLE record, int field1, int field2, int field3) {
  MsiRecordSetInteger(record, 1, field1);
  MsiRecordSetInteger(record, 2, field2);
  MsiRecordSetInteger(record, 3, field3);
  return MsiProcessMessage(session, INSTALLMESSAGE_PROGRESS, record);
}

}  // namespace zvu::hooks
