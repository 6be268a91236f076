// Registering the product's filter in the web server's configuration store.
#include <windows.h>

#include <cwchar>
#include <string>

#include "filter_load_order.h"
#include "guarded.h"
#include "hooks_texts.h"
#include "installer_session.h"
#include "metabase_session.h"
#include "msihooks.h"
#include "setup_log.h"

using namespace zvu::hooks;

namespace {

constexpr wchar_t kFilterName[] = L"IISQuillet";
constexpr wchar_t kFilterFileBelowSystem[] = L"inetsrv\\IISQuilletFilter.dll";
constexpr wchar_t kFilterDescription[] =
    L"Authentication filter -  Copyright (c) Zelko. All rights reserved.";
constexpr wchar_t kFilterKeyType[] = L"IIsFilter";
constexpr wchar_t kServerFilters[] = L"/LM/W3SVC/Filters/";
constexpr wchar_t kWebService[] = L"/LM/W3SVC/";
constexpr wchar_t kSiteFilters[] = L"Filters/";

std::wstring FilterKey() { return std::wstring(kServerFilters) + kFilterName + L"/"; }

std::wstring SiteRoot(int site) {
  wchar_t root[48] = {};
  swprintf(root, 48, L"/LM/W3SVC/%d/", site);
  return root;
}

// The site number of a child key of the web service: its leading digits, or
// 0 for names that are no site ("Filters", "Info") or do not fit a number.
int SiteNumber(const std::wstring& keyName) {
  long long number = 0;
  for (wchar_t c : keyName) {
    if (c < L'0' || c > L'9') break;
    number = number * 10 + (c - L'0');
    if (number > 0x7fffffff) return 0;
  }
  return static_cast<int>(number);
}

bool IsEmpty(LPCWSTR text) { return text == nullptr || *text == L'\0'; }

}  // namespace

UINT __stdcall InsertFilter(MSIHANDLE, LPCWSTR systemFolder) {
  return Guarded(kActionFailed, [&] {
    if (IsEmpty(systemFolder)) return kActionSuccess;
    const std::wstring filterPath = std::wstring(systemFolder) + kFilterFileBelowSystem;
    MetabaseSession metabase;
    if (!metabase.IsOpen()) return kActionFailed;

    metabase.CreateKey(kServerFilters, kFilterName);  // may exist already
    const std::wstring key = FilterKey();
    bool written = metabase.WriteString(key, kKeyTypeId, kFilterKeyType);
    written = metabase.WriteString(key, kFilterImagePathId, filterPath) && written;
    written = metabase.WriteString(key, kFilterDescriptionId, kFilterDescription) && written;

    // A load order that exists but cannot be read is left as it is: writing
    // the filter's name alone would drop every other filter of the server.
    const StringRead loadOrder = metabase.ReadString(kServerFilters, kFilterLoadOrderId);
    if (loadOrder.outcome == ReadOutcome::Unreadable) return kActionFailed;
    written = metabase.WriteString(kServerFilters, kFilterLoadOrderId,
                                   LoadOrderWithFilterLast(loadOrder.text, kFilterName)) &&
              written;
    return written ? kActionSuccess : kActionFailed;
  });
}

UINT __stdcall RemoveFilter(MSIHANDLE, LPCWSTR) {
  return Guarded(kActionFailed, [] {
    Log(texts::kRemoveFilterEntry);
    MetabaseSession metabase;
    if (!metabase.IsOpen()) return kActionFailed;
    const StringRead loadOrder = metabase.ReadString(kServerFilters, kFilterLoadOrderId);
    if (loadOrder.outcome == ReadOutcome::Read) {
      metabase.WriteString(kServerFilters, kFilterLoadOrderId,
                           LoadOrderWithoutFilter(loadOrder.text, kFilterName));
    }
    metabase.RemoveKey(FilterKey());
    return kActionSuccess;
  });
}

UINT __stdcall FilterExists(MSIHANDLE) {
  return Guarded(0, [] {
    Log(texts::kExistFilterEntry);
    MetabaseSession metabase;
    if (!metabase.IsOpen()) return 0u;
    return metabase.KeyExists(FilterKey()) ? 1u : 0u;
  });
}

UINT __stdcall ReplaceFilterPath(LPCWSTR systemFolder) {
  return Guarded(kActionFailed, [&] {
    Log(texts::kReplaceFilterPathEntry);
    if (IsEmpty(systemFolder)) return kActionSuccess;
    const std::wstring filterPath = std::wstring(systemFolder) + kFilterFileBelowSystem;
    MetabaseSession metabase;
    if (!metabase.IsOpen()) return kActionFailed;

    for (DWORD index = 0;; ++index) {
      const std::optional<std::wstring> child = metabase.ChildKey(kWebService, index);
      if (!child) break;
      const int site = SiteNumber(*child);
      if (site == 0) continue;
      const std::wstring filters = SiteRoot(site) + kSiteFilters;

      std::wstring siteCopy;
      if (auto container = metabase.OpenForReading(filters)) {
        for (DWORD filter = 0;; ++filter) {
          const std::optional<std::wstring> name = container->Child(filter);
          if (!name) break;
          const StringRead image = metabase.ReadString(filters + *name, kFilterImagePathId);
          if (image.outcome == ReadOutcome::Read &&
              image.text.find(kFilterName) != std::wstring::npos) {
            siteCopy = *name;
            break;
          }
        }
      }  // the container is closed before its child is written
      if (siteCopy.empty()) continue;

      wchar_t entry[32] = {};
      swprintf(entry, 32, texts::kSiteIdEntry, site);
      Log(entry);
      metabase.WriteString(filters + siteCopy, kFilterImagePathId, filterPath);
    }
    return kActionSuccess;
  });
}
