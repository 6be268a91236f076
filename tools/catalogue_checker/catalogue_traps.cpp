#include "catalogue_traps.h"

#include <algorithm>
#include <iterator>

#include "ansi_text.h"
#include "catalogue_document.h"
#include "catalogue_number.h"
#include "com_ptr.h"
#include "installer_download.h"

namespace zvu {
namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\v' || c == L'\f';
}

template <size_t N>
bool IsOneOf(const std::wstring& name, const wchar_t* const (&names)[N]) {
  return std::any_of(std::begin(names), std::end(names),
                     [&name](const wchar_t* known) { return name == known; });
}

// "<name>" (built by appending: GCC 12 misreads "<" + temporary as overlapping copies).
std::string Quoted(const std::wstring& name) {
  std::string quoted(1, '<');
  quoted.append(Narrow(name)).push_back('>');
  return quoted;
}

std::string InQuotes(const std::wstring& text) {
  std::string quoted(1, '"');
  quoted.append(Narrow(text)).push_back('"');
  return quoted;
}

HRESULT NodeName(IXMLDOMNode* node, std::wstring& name) {
  UniqueBstr bstr;
  HRESULT hr = node->get_nodeName(bstr.put());
  if (FAILED(hr)) return hr;
  name.assign(bstr.get() != nullptr ? bstr.get() : L"", bstr.length());
  return S_OK;
}

HRESULT NodeText(IXMLDOMNode* node, std::wstring& text) {
  UniqueBstr bstr;
  HRESULT hr = node->get_text(bstr.put());
  if (FAILED(hr)) return hr;
  text.assign(bstr.get() != nullptr ? bstr.get() : L"", bstr.length());
  return S_OK;
}

void CheckNumber(const WrittenField& field, CheckReport& report) {
  const std::wstring& text = field.text;
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  const std::wstring digits = text.substr(first, last - first);
  const int32_t value = ParseCatalogueNumber(text);
  const std::string name = Quoted(field.name);
  if (digits.empty()) {
    report.Warning(name + " is empty: it reads as 0");
    return;
  }
  const bool plain = std::all_of(digits.begin(), digits.end(),
                                 [](wchar_t c) { return c >= L'0' && c <= L'9'; });
  if (!plain) {
    if (value < 0) {
      report.Warning(name + " " + InQuotes(digits) + " is negative: it reads as " +
                     std::to_string(static_cast<uint32_t>(value)));
    } else {
      report.Warning(name + " " + InQuotes(digits) + " is no plain number: it reads as " +
                     std::to_string(value));
    }
    return;
  }
  if (digits.size() > 10 || value == INT32_MAX) {
    const bool exactlyMax = digits.find_first_not_of(L'0') != std::wstring::npos &&
                            digits.substr(digits.find_first_not_of(L'0')) == L"2147483647";
    if (!exactlyMax) {
      report.Warning(name + " " + Narrow(digits) +
                     " is out of range (at most 2147483647): it reads as 2147483647");
    }
  }
}

void CheckEncodable(const WrittenField& field, CheckReport& report) {
  std::string narrow;
  std::wstring back;
  if (!WideToAnsi(field.text, narrow) || !AnsiToWide(narrow, back) || back != field.text) {
    report.Warning(Quoted(field.name) + " holds characters that code page " +
                   std::to_string(GetACP()) + " cannot hold: the programs read \"" + narrow +
                   "\"");
  }
}

}  // namespace

HRESULT ReadWrittenEntry(IXMLDOMNode* entry, WrittenEntry& written) {
  written = {};
  ComPtr<IXMLDOMNamedNodeMap> attributes;
  HRESULT hr = entry->get_attributes(attributes.put());
  if (FAILED(hr)) return hr;
  if (attributes) {
    long count = 0;
    if (FAILED(hr = attributes->get_length(&count))) return hr;
    for (long i = 0; i < count; ++i) {
      ComPtr<IXMLDOMNode> attribute;
      if (FAILED(hr = attributes->get_item(i, attribute.put()))) return hr;
      if (!attribute) continue;
      std::wstring name;
      if (FAILED(hr = NodeName(attribute.get(), name))) return hr;
      written.attributes.push_back(std::move(name));
    }
  }
  ComPtr<IXMLDOMNode> child;
  hr = entry->get_firstChild(child.put());
  if (FAILED(hr)) return hr;
  if (hr == S_FALSE) child.reset();
  while (child) {
    DOMNodeType type = NODE_INVALID;
    if (FAILED(hr = child->get_nodeType(&type))) return hr;
    if (type == NODE_ELEMENT) {
      WrittenField field;
      if (FAILED(hr = NodeName(child.get(), field.name))) return hr;
      if (FAILED(hr = NodeText(child.get(), field.text))) return hr;
      written.fields.push_back(std::move(field));
    }
    ComPtr<IXMLDOMNode> next;
    if (FAILED(hr = child->get_nextSibling(next.put()))) return hr;
    if (hr == S_FALSE) next.reset();
    child = std::move(next);
  }
  return S_OK;
}

void CheckWrittenEntry(const WrittenEntry& entry, bool isUpdate, CheckReport& report) {
  for (const std::wstring& attribute : entry.attributes) {
    const bool field = isUpdate ? IsOneOf(attribute, kUpdateFieldNames)
                                : IsOneOf(attribute, kProductFieldNames);
    if (field) {
      report.Warning(InQuotes(attribute) + " is written as an attribute: it is not read, "
                     "write it as the element " + Quoted(attribute));
    } else {
      report.Note("attribute " + InQuotes(attribute) + " is ignored");
    }
  }
  std::vector<std::wstring> seen;
  for (const WrittenField& field : entry.fields) {
    const bool known = isUpdate ? IsOneOf(field.name, kUpdateFieldNames)
                                : IsOneOf(field.name, kProductFieldNames);
    if (!known) {
      report.Warning("unknown element " + Quoted(field.name) + " is ignored");
      continue;
    }
    if (std::find(seen.begin(), seen.end(), field.name) != seen.end()) {
      report.Warning(Quoted(field.name) + " appears again: only the first one is read");
      continue;
    }
    seen.push_back(field.name);
    if (IsOneOf(field.name, kNumberFieldNames)) {
      CheckNumber(field, report);
    } else {
      CheckEncodable(field, report);
    }
  }
}

void CheckInstallerUrl(const std::string& url, CheckReport& report) {
  if (url.empty()) {
    report.Error("no <url>: the installer cannot be downloaded");
    return;
  }
  const auto startsWith = [&url](std::string_view prefix) {
    if (url.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
      const char c = url[i];
      const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      if (lower != prefix[i]) return false;
    }
    return true;
  };
  const bool http = startsWith("http://");
  const bool https = startsWith("https://");
  if (!http && !https) {
    report.Error("the url \"" + url + "\" does not begin with http:// or https://: "
                 "the installer cannot be downloaded");
    return;
  }
  const DownloadAddress address = SplitDownloadUrl(url);
  if (address.host.empty()) {
    report.Error("the url names no host the download can use");
    return;
  }
  if (!InstallerFileName(address.object)) {
    report.Error("the url's last path segment (with any query) is no usable file name: "
                 "the download cannot be saved");
  }
  // The port, when the url names one: after the host, before the path.
  const size_t authority = url.find("//") + 2;
  const size_t authorityEnd = url.find_first_of("/?#", authority);
  const std::string hostPort = url.substr(authority, authorityEnd == std::string::npos
                                                         ? std::string::npos
                                                         : authorityEnd - authority);
  const size_t bracket = hostPort.rfind(']');
  const size_t colon = hostPort.rfind(':');
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    const std::string port = hostPort.substr(colon + 1);
    if (port != "80" && !port.empty()) {
      report.Warning("the url names port " + port +
                     ": installers are always fetched over plain HTTP from port 80");
      return;
    }
  }
  if (https) report.Note("installers are fetched over plain HTTP from port 80, not over https");
}

void CheckTextEncoding(std::string_view text, CheckReport& report) {
  if (GetACP() == CP_UTF8) return;  // the machine reads UTF-8 as it is
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    report.Warning("the file begins with a UTF-8 byte-order mark: the programs read the "
                   "catalogue in code page " + std::to_string(GetACP()) + ", not UTF-8");
    return;
  }
  // Non-ASCII text that is valid UTF-8 was most likely written as UTF-8.
  bool nonAscii = false;
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3
                                    : (byte >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return;  // not UTF-8
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return;
    }
    nonAscii = nonAscii || length > 1;
    i += length;
  }
  if (nonAscii) {
    report.Warning("the text looks like UTF-8: the programs read the catalogue in code page " +
                   std::to_string(GetACP()) + ", so its non-ASCII characters come out garbled");
  }
}

}  // namespace zvu
