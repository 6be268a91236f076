#include "installer_session.h"

#include <msiquery.h>

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

FolderProperty ReadFolderProperty(MSIHANDLE session, const wchar_t* name) {
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
