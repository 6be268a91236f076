#pragma once

// The web server's configuration store (the IIS metabase) through its admin
// base object. Declared here from the published class and interface
// identifiers and method order; the platform headers are not used.
#include <windows.h>
#include <objbase.h>

namespace zvu::hooks {

using MetadataHandle = DWORD;

struct MetadataRecord {
  DWORD dwMDIdentifier;
  DWORD dwMDAttributes;
  DWORD dwMDUserType;
  DWORD dwMDDataType;
  DWORD dwMDDataLen;
  unsigned char* pbMDData;
  DWORD dwMDDataTag;
};

struct MetadataHandleInfo {
  DWORD dwMDPermissions;
  DWORD dwMDSystemChangeNumber;
};

// {A9E69610-B80D-11D0-B9B9-00A0C922E750}
constexpr CLSID kClsidAdminBase = {
    0xa9e69610, 0xb80d, 0x11d0, {0xb9, 0xb9, 0x00, 0xa0, 0xc9, 0x22, 0xe7, 0x50}};
// {70B51430-B6CA-11D0-B9B9-00A0C922E750}
constexpr IID kIidAdminBaseW = {
    0x70b51430, 0xb6ca, 0x11d0, {0xb9, 0xb9, 0x00, 0xa0, 0xc9, 0x22, 0xe7, 0x50}};

constexpr MetadataHandle kMasterRootHandle = 0;
constexpr DWORD kPermissionRead = 1;
constexpr DWORD kPermissionWrite = 2;
constexpr DWORD kMaxKeyNameLength = 256;

constexpr DWORD kStringMetadata = 2;  // STRING_METADATA
constexpr DWORD kUserTypeServer = 1;  // IIS_MD_UT_SERVER
constexpr DWORD kNoAttributes = 0;

constexpr DWORD kKeyTypeId = 1002;            // MD_KEY_TYPE
constexpr DWORD kFilterLoadOrderId = 2040;    // MD_FILTER_LOAD_ORDER
constexpr DWORD kFilterImagePathId = 2041;    // MD_FILTER_IMAGE_PATH
constexpr DWORD kFilterDescriptionId = 2045;  // MD_FILTER_DESCRIPTION

// Answers of the store that the library tells apart.
constexpr HRESULT kBufferTooSmall = static_cast<HRESULT>(0x8007007A);
constexpr HRESULT kDataNotFound = static_cast<HRESULT>(0x800CC801);  // MD_ERROR_DATA_NOT_FOUND

struct IMSAdminBaseW : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddKey(MetadataHandle handle, LPCWSTR path) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteKey(MetadataHandle handle, LPCWSTR path) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteChildKeys(MetadataHandle handle, LPCWSTR path) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumKeys(MetadataHandle handle, LPCWSTR path, LPWSTR name,
                                             DWORD index) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyKey(MetadataHandle source, LPCWSTR sourcePath,
                                            MetadataHandle destination, LPCWSTR destinationPath,
                                            BOOL overwrite, BOOL copy) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenameKey(MetadataHandle handle, LPCWSTR path,
                                              LPCWSTR newName) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetData(MetadataHandle handle, LPCWSTR path,
                                            MetadataRecord* record) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetData(MetadataHandle handle, LPCWSTR path,
                                            MetadataRecord* record, DWORD* requiredLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteData(MetadataHandle handle, LPCWSTR path,
                                               DWORD identifier, DWORD dataType) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumData(MetadataHandle handle, LPCWSTR path,
                                             MetadataRecord* record, DWORD index,
                                             DWORD* requiredLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAllData(MetadataHandle handle, LPCWSTR path,
                                               DWORD attributes, DWORD userType, DWORD dataType,
                                               DWORD* entryCount, DWORD* dataSetNumber,
                                               DWORD bufferSize, unsigned char* buffer,
                                               DWORD* requiredSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteAllData(MetadataHandle handle, LPCWSTR path,
                                                  DWORD userType, DWORD dataType) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyData(MetadataHandle source, LPCWSTR sourcePath,
                                             MetadataHandle destination, LPCWSTR destinationPath,
                                             DWORD attributes, DWORD userType, DWORD dataType,
                                             BOOL copy) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDataPaths(MetadataHandle handle, LPCWSTR path,
                                                 DWORD identifier, DWORD dataType,
                                                 DWORD bufferSize, WCHAR* buffer,
                                                 DWORD* requiredSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenKey(MetadataHandle handle, LPCWSTR path, DWORD access,
                                            DWORD timeoutMs, MetadataHandle* opened) = 0;
  virtual HRESULT STDMETHODCALLTYPE CloseKey(MetadataHandle handle) = 0;
  virtual HRESULT STDMETHODCALLTYPE ChangePermissions(MetadataHandle handle, DWORD timeoutMs,
                                                      DWORD access) = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveData() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHandleInfo(MetadataHandle handle,
                                                  MetadataHandleInfo* info) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSystemChangeNumber(DWORD* number) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDataSetNumber(MetadataHandle handle, LPCWSTR path,
                                                     DWORD* number) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLastChangeTime(MetadataHandle handle, LPCWSTR path,
                                                      FILETIME* time, BOOL localTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLastChangeTime(MetadataHandle handle, LPCWSTR path,
                                                      FILETIME* time, BOOL localTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE KeyExchangePhase1() = 0;
  virtual HRESULT STDMETHODCALLTYPE KeyExchangePhase2() = 0;
  virtual HRESULT STDMETHODCALLTYPE Backup(LPCWSTR location, DWORD version, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Restore(LPCWSTR location, DWORD version, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumBackups(LPWSTR location, DWORD* version,
                                                FILETIME* backupTime, DWORD index) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteBackup(LPCWSTR location, DWORD version) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnmarshalInterface(IMSAdminBaseW** unmarshalled) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetServerGuid() = 0;
};

}  // namespace zvu::hooks
