#include "kept_catalogue.h"

#include <new>

#include "http_client.h"

namespace zvu {
namespace {

constexpr size_t kMaxValidatorLength = 1024;

// A validator goes back to the server inside a request header: it must not be
// able to end that header or add another one.
bool UsableValidator(std::wstring_view value) {
  if (value.empty() || value.size() > kMaxValidatorLength) return false;
  for (wchar_t c : value) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

}  // namespace

std::wstring KeptCatalogue::RequestHeaders() const {
  std::wstring headers;
  if (!kept_) return headers;
  if (!entityTag_.empty()) headers += L"If-None-Match: " + entityTag_ + L"\r\n";
  if (!lastModified_.empty()) headers += L"If-Modified-Since: " + lastModified_ + L"\r\n";
  return headers;
}

void KeptCatalogue::Remember(std::string_view text, std::wstring_view entityTag,
                             std::wstring_view lastModified) {
  Forget();
  const bool tagUsable = UsableValidator(entityTag);
  const bool dateUsable = UsableValidator(lastModified);
  if (!tagUsable && !dateUsable) return;
  try {
    text_.assign(text);
    if (tagUsable) entityTag_.assign(entityTag);
    if (dateUsable) lastModified_.assign(lastModified);
    kept_ = true;
  } catch (const std::bad_alloc&) {
    Forget();  // without the body a 304 could not be answered: keep nothing
  }
}

void KeptCatalogue::RememberResponse(const XHttpClient& client, std::string_view text) {
  try {
    Remember(text, client.ResponseHeader(L"ETag"), client.ResponseHeader(L"Last-Modified"));
  } catch (const std::bad_alloc&) {
    Forget();
  }
}

void KeptCatalogue::Forget() {
  kept_ = false;
  std::string().swap(text_);
  entityTag_.clear();
  lastModified_.clear();
}

}  // namespace zvu
