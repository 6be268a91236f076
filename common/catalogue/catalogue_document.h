#pragma once

#include <windows.h>
#include <msxml2.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "com_ptr.h"

namespace zvu {

// The catalogue as an MSXML DOM document ("msxml2.domdocument"), and the
// reading of its entries. Every operation returns an HRESULT; S_OK means
// done, anything else that failed is a failure HRESULT.
class CatalogueDocument {
 public:
  // Initialises COM on this thread (for the document's lifetime) and
  // creates the document object.
  HRESULT Create();

  // Loads the whole text (ANSI code page). Fails with E_INVALIDARG for empty
  // text or text holding a NUL, E_UNEXPECTED without a document object, and
  // E_FAIL when the text is not well-formed XML (no document element).
  // On success products() and updates() are the root's first "products" and
  // "updates" children, either possibly null. Nothing outside the text is
  // read: external entities, DTDs and schemas are not resolved, and the
  // document is not validated; its own DTD's entities still apply.
  HRESULT Load(std::string_view text);

  IXMLDOMNode* products() const { return products_.get(); }
  IXMLDOMNode* updates() const { return updates_.get(); }

 private:
  // Declared first: COM is undone only after every interface is released.
  std::optional<ComInitialization> com_;
  ComPtr<IXMLDOMDocument> document_;
  ComPtr<IXMLDOMNode> products_;
  ComPtr<IXMLDOMNode> updates_;
};

// The first entry element of a list element (entries are its element
// children; text, comments and other nodes between them are skipped), and the
// entry after one. S_OK with a null entry at the end of the list.
HRESULT FirstEntry(IXMLDOMNode* list, ComPtr<IXMLDOMNode>& entry);
HRESULT NextEntry(ComPtr<IXMLDOMNode>& entry);

// One field of an entry: the child element called name, read either as ANSI
// text or as a number (ParseCatalogueNumber, kept as its 32-bit pattern).
struct EntryField {
  const wchar_t* name;
  std::string* text = nullptr;
  uint32_t* number = nullptr;
};

// Reads each field from the first child element of entry with the field's
// name. A field without such an element keeps its value.
HRESULT ReadEntryFields(IXMLDOMNode* entry, std::span<const EntryField> fields);

// Element names of the fields of a product entry and of an update entry.
inline constexpr const wchar_t* kProductFieldNames[] = {
    L"product", L"description", L"major", L"minor", L"build", L"subbuild", L"size"};
inline constexpr const wchar_t* kUpdateFieldNames[] = {
    L"product", L"description", L"major", L"minor", L"build", L"subbuild", L"size",
    L"url",     L"options",     L"issfile", L"sha256"};
inline constexpr const wchar_t* kNumberFieldNames[] = {L"major", L"minor", L"build", L"subbuild",
                                                       L"size"};

class CatalogueEntry;
class UpdateEntry;
// Reads one entry of the "products" or the "updates" list into its record,
// as ParseCatalogue does.
HRESULT ReadProductFields(IXMLDOMNode* node, CatalogueEntry& entry);
HRESULT ReadUpdateFields(IXMLDOMNode* node, UpdateEntry& entry);

}  // namespace zvu
