#include "catalogue_document.h"

#include <objbase.h>

#include "ansi_text.h"
#include "catalogue_number.h"

namespace zvu {
namespace {

// In-process server and handler, local server and remote server.
constexpr DWORD kDocumentClassContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

HRESULT AllocateBstr(std::wstring_view text, UniqueBstr& bstr) {
  if (text.size() > 0x7FFFFFFFu / sizeof(wchar_t)) return E_OUTOFMEMORY;
  bstr.reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  return bstr.get() != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The first child element of node called name; S_OK with a null child when
// there is none.
HRESULT SelectChild(IXMLDOMNode* node, const wchar_t* name, ComPtr<IXMLDOMNode>& child) {
  child.reset();
  UniqueBstr pattern;
  HRESULT hr = AllocateBstr(name, pattern);
  if (FAILED(hr)) return hr;
  hr = node->selectSingleNode(pattern.get(), child.put());
  if (FAILED(hr)) return hr;
  if (hr == S_FALSE) child.reset();
  return S_OK;
}

// The typed value of a field element as UTF-16 text.
HRESULT ReadElementText(IXMLDOMNode* element, std::wstring& value) {
  value.clear();
  UniqueVariant typed;
  HRESULT hr = element->get_nodeTypedValue(typed.put());
  if (FAILED(hr)) return hr;
  VARIANT& v = typed.get();
  if (V_VT(&v) == VT_EMPTY || V_VT(&v) == VT_NULL) return S_OK;  // no content
  if (V_VT(&v) != VT_BSTR) {
    // Elements declared with a data type come back typed; read them as text.
    hr = VariantChangeType(&v, &v, 0, VT_BSTR);
    if (FAILED(hr)) return hr;
  }
  if (V_BSTR(&v) != nullptr) value.assign(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
  return S_OK;
}

HRESULT StoreField(IXMLDOMNode* element, const EntryField& field) {
  std::wstring value;
  HRESULT hr = ReadElementText(element, value);
  if (FAILED(hr)) return hr;
  if (field.text != nullptr && !WideToAnsi(value, *field.text)) return E_OUTOFMEMORY;
  // The signed value's bit pattern: "-1" reads as 0xFFFFFFFF.
  if (field.number != nullptr) *field.number = static_cast<uint32_t>(ParseCatalogueNumber(value));
  return S_OK;
}

// The next sibling of node (S_OK with null at the end).
HRESULT NextSibling(ComPtr<IXMLDOMNode>& node) {
  ComPtr<IXMLDOMNode> next;
  HRESULT hr = node->get_nextSibling(next.put());
  if (FAILED(hr)) return hr;
  if (hr == S_FALSE) next.reset();
  node = std::move(next);
  return S_OK;
}

// Moves node on to the first element among itself and its later siblings
// (null when there is none).
HRESULT SkipToElement(ComPtr<IXMLDOMNode>& node) {
  while (node) {
    DOMNodeType type = NODE_INVALID;
    HRESULT hr = node->get_nodeType(&type);
    if (FAILED(hr)) return hr;
    if (type == NODE_ELEMENT) break;
    if (FAILED(hr = NextSibling(node))) return hr;
  }
  return S_OK;
}

}  // namespace

HRESULT CatalogueDocument::Create() {
  // Each initialisation is undone with the document, so a thread that
  // parses for years keeps its COM count balanced. A thread already in the
  // multithreaded apartment can create the document as well.
  com_.emplace();
  if (!com_->usable()) return com_->result();

  CLSID documentClass;
  HRESULT hr = CLSIDFromProgID(L"msxml2.domdocument", &documentClass);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(documentClass, nullptr, kDocumentClassContext,
                          IID_IXMLDOMDocument, document_.put_void());
}

HRESULT CatalogueDocument::Load(std::string_view text) {
  // XML has no NUL character; a text holding one is no document, and cutting
  // it there would silently lose the rest.
  if (text.empty() || text.find('\0') != std::string_view::npos) return E_INVALIDARG;
  if (!document_) return E_UNEXPECTED;

  std::wstring wide;
  if (!AnsiToWide(text, wide)) return E_OUTOFMEMORY;
  UniqueBstr source;
  HRESULT hr = AllocateBstr(wide, source);
  if (FAILED(hr)) return hr;
  std::wstring().swap(wide);  // the BSTR holds the only copy needed from here

  // A catalogue is read from its own text and nothing else. MSXML 3 resolves
  // externals by default: an external entity, an external DTD or an
  // "x-schema:" namespace in a catalogue would have the service (as local
  // system) and the client open local files, UNC paths (the machine account
  // authenticating to the host named there) or addresses of the catalogue's
  // choosing. Entities and declarations in the document's own DTD still apply.
  // Validation is off as well: nothing here relies on it, a DTD kept outside
  // the document can no longer be read to validate against, and a DTD that
  // only declares entities does not describe every element.
  hr = document_->put_resolveExternals(VARIANT_FALSE);
  if (FAILED(hr)) return hr;
  hr = document_->put_validateOnParse(VARIANT_FALSE);
  if (FAILED(hr)) return hr;

  // The boolean result is not consulted: the document element tells.
  VARIANT_BOOL loaded = VARIANT_FALSE;
  hr = document_->loadXML(source.get(), &loaded);
  if (FAILED(hr)) return hr;
  source.reset();

  ComPtr<IXMLDOMElement> root;
  hr = document_->get_documentElement(root.put());
  if (FAILED(hr)) return hr;
  if (!root) return E_FAIL;

  hr = SelectChild(root.get(), L"updates", updates_);
  if (FAILED(hr)) return hr;
  return SelectChild(root.get(), L"products", products_);
}

HRESULT FirstEntry(IXMLDOMNode* list, ComPtr<IXMLDOMNode>& entry) {
  HRESULT hr = list->get_firstChild(entry.put());
  if (FAILED(hr)) return hr;
  if (hr == S_FALSE) entry.reset();
  return SkipToElement(entry);
}

HRESULT NextEntry(ComPtr<IXMLDOMNode>& entry) {
  if (!entry) return S_OK;
  HRESULT hr = NextSibling(entry);
  if (FAILED(hr)) return hr;
  return SkipToElement(entry);
}

HRESULT ReadEntryFields(IXMLDOMNode* entry, std::span<const EntryField> fields) {
  // One walk over the entry's children instead of a selection per field:
  // the first child element of each name is the one a selection would find.
  constexpr size_t kMaxFields = 16;
  if (fields.size() > kMaxFields) return E_INVALIDARG;
  bool taken[kMaxFields] = {};
  size_t remaining = fields.size();

  ComPtr<IXMLDOMNode> child;
  HRESULT hr = entry->get_firstChild(child.put());
  if (FAILED(hr)) return hr;
  if (hr == S_FALSE) child.reset();
  for (; child && remaining > 0; hr = NextSibling(child)) {
    if (FAILED(hr)) return hr;
    DOMNodeType type = NODE_INVALID;
    if (FAILED(hr = child->get_nodeType(&type))) return hr;
    if (type != NODE_ELEMENT) continue;

    UniqueBstr name;
    if (FAILED(hr = child->get_nodeName(name.put()))) return hr;
    const std::wstring_view childName(name.get() != nullptr ? name.get() : L"", name.length());
    for (size_t i = 0; i < fields.size(); ++i) {
      if (taken[i] || childName != fields[i].name) continue;
      taken[i] = true;
      --remaining;
      if (FAILED(hr = StoreField(child.get(), fields[i]))) return hr;
      break;
    }
  }
  return hr;
}

}  // namespace zvu
