#include "metabase_session.h"

#include <cwchar>
#include <vector>

#include "hooks_texts.h"
#include "setup_log.h"

namespace zvu::hooks {
namespace {

constexpr DWORD kOpenTimeoutMs = 200;
constexpr DWORD kInProcessOrLocalServer =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;  // 7

MetadataRecord StringRecord(DWORD id, void* data, DWORD bytes) {
  MetadataRecord record = {};
  record.dwMDIdentifier = id;
  record.dwMDAttributes = kNoAttributes;
  record.dwMDUserType = kUserTypeServer;
  record.dwMDDataType = kStringMetadata;
  record.dwMDDataLen = bytes;
  record.pbMDData = static_cast<unsigned char*>(data);
  return record;
}

bool IsAbsent(HRESULT result) {
  return result == kDataNotFound || result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) ||
         result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

}  // namespace

MetabaseSession::MetabaseSession() {
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // A thread already in another apartment can still create the object, but
  // its COM set-up belongs to the caller and is left alone.
  comInitialised_ = SUCCEEDED(init);
  if (FAILED(init) && init != RPC_E_CHANGED_MODE) return;
  void* created = nullptr;
  const HRESULT create =
      CoCreateInstance(kClsidAdminBase, nullptr, kInProcessOrLocalServer, kIidAdminBaseW, &created);
  if (SUCCEEDED(create) && created) {
    adminBase_ = static_cast<IMSAdminBaseW*>(created);
    return;
  }
  // IIS 7 and later keep the store only with their metabase compatibility
  // feature; without it the class is not registered at all.
  if (create == REGDB_E_CLASSNOTREG) {
    Log(texts::kMetabaseNotRegisteredEntry);
  } else {
    wchar_t entry[64] = {};
    swprintf(entry, 64, texts::kMetabaseUnavailableEntry, static_cast<unsigned long>(create));
    Log(entry);
  }
}

MetabaseSession::~MetabaseSession() {
  if (adminBase_) adminBase_->Release();
  if (comInitialised_) CoUninitialize();
}

bool MetabaseSession::Open(const std::wstring& path, DWORD access, MetadataHandle* handle) {
  *handle = 0;
  return SUCCEEDED(
      adminBase_->OpenKey(kMasterRootHandle, path.c_str(), access, kOpenTimeoutMs, handle));
}

void MetabaseSession::Close(MetadataHandle handle) { adminBase_->CloseKey(handle); }

StringRead MetabaseSession::ReadString(const std::wstring& path, DWORD id) {
  StringRead read;
  if (!adminBase_) return read;
  MetadataHandle key = 0;
  const HRESULT open =
      adminBase_->OpenKey(kMasterRootHandle, path.c_str(), kPermissionRead, kOpenTimeoutMs, &key);
  if (FAILED(open)) {
    // A missing key holds no value; a busy or forbidden one may hold one.
    if (IsAbsent(open)) read.outcome = ReadOutcome::Absent;
    return read;
  }
  MetadataRecord sizing = StringRecord(id, nullptr, 0);
  DWORD required = 0;
  const HRESULT first = adminBase_->GetData(key, L"", &sizing, &required);
  if (first == kBufferTooSmall && required > 0) {
    // Room for the value plus a terminator, whole characters.
    std::vector<wchar_t> buffer(required / sizeof(wchar_t) + 2, L'\0');
    MetadataRecord record =
        StringRecord(id, buffer.data(), static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t)));
    DWORD again = 0;
    if (SUCCEEDED(adminBase_->GetData(key, L"", &record, &again))) {
      read.outcome = ReadOutcome::Read;
      read.text = buffer.data();
    }
  } else if (IsAbsent(first)) {
    read.outcome = ReadOutcome::Absent;
  }
  Close(key);
  return read;
}

bool MetabaseSession::WriteString(const std::wstring& path, DWORD id, const std::wstring& text) {
  if (!adminBase_) return false;
  MetadataHandle key = 0;
  if (!Open(path, kPermissionWrite, &key)) {
    MetadataHandle root = 0;
    if (Open(L"", kPermissionWrite, &root)) {
      adminBase_->AddKey(root, path.c_str());
      Close(root);
    }
    if (!Open(path, kPermissionWrite, &key)) return false;
  }
  std::wstring terminated = text;
  MetadataRecord record =
      StringRecord(id, terminated.data(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  const HRESULT set = adminBase_->SetData(key, L"", &record);
  Close(key);
  return SUCCEEDED(set);
}

bool MetabaseSession::CreateKey(const std::wstring& parent, const std::wstring& name) {
  if (!adminBase_) return false;
  MetadataHandle key = 0;
  if (!Open(parent, kPermissionWrite, &key)) return false;
  const HRESULT added = adminBase_->AddKey(key, name.c_str());
  Close(key);
  return SUCCEEDED(added);
}

bool MetabaseSession::RemoveKey(const std::wstring& path) {
  if (!adminBase_) return false;
  MetadataHandle root = 0;
  if (!Open(L"", kPermissionWrite, &root)) return false;
  const HRESULT deleted = adminBase_->DeleteKey(root, path.c_str());
  Close(root);
  return SUCCEEDED(deleted);
}

bool MetabaseSession::KeyExists(const std::wstring& path) {
  if (!adminBase_) return false;
  MetadataHandle key = 0;
  if (!Open(path, kPermissionWrite, &key)) return false;
  Close(key);
  return true;
}

std::optional<std::wstring> MetabaseSession::ChildKey(const std::wstring& path, DWORD index) {
  if (!adminBase_) return std::nullopt;
  wchar_t name[kMaxKeyNameLength + 1] = {};
  if (FAILED(adminBase_->EnumKeys(kMasterRootHandle, path.c_str(), name, index))) {
    return std::nullopt;
  }
  name[kMaxKeyNameLength] = L'\0';
  return std::wstring(name);
}

std::optional<MetabaseSession::OpenedKey> MetabaseSession::OpenForReading(const std::wstring& path) {
  if (!adminBase_) return std::nullopt;
  MetadataHandle key = 0;
  if (!Open(path, kPermissionRead, &key)) return std::nullopt;
  return std::optional<OpenedKey>(std::in_place, adminBase_, key);
}

MetabaseSession::OpenedKey::~OpenedKey() {
  if (adminBase_) adminBase_->CloseKey(handle_);
}

std::optional<std::wstring> MetabaseSession::OpenedKey::Child(DWORD index) {
  wchar_t name[kMaxKeyNameLength + 1] = {};
  if (FAILED(adminBase_->EnumKeys(handle_, L"", name, index))) return std::nullopt;
  name[kMaxKeyNameLength] = L'\0';
  return std::wstring(name);
}

}  // namespace zvu::hooks
