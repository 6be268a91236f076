#include "update_description.h"

#include "client_texts.h"
#include "format_text.h"

namespace zvu {
namespace {

int Signed(uint32_t value) { return static_cast<int>(value); }

constexpr char kParagraph[] = " \\par ";

// Catalogue text as rich text that shows it as it is written: backslash and
// braces, which would start control words and groups, are escaped. Line
// breaks, as a line feed or as the two characters backslash, n, become
// paragraph marks.
void AppendPlainText(std::string& rtf, const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      rtf += kParagraph;
      ++i;
    } else if (c == '\n') {
      rtf += kParagraph;
    } else if (c == '\\' || c == '{' || c == '}') {
      rtf += '\\';
      rtf += c;
    } else {
      rtf += c;
    }
  }
}

}  // namespace

RowDescription DescribeRow(const CheckTreeItemData* row) {
  if (row == nullptr || row->object == nullptr) return {};
  const CatalogueEntry& entry = *row->object;
  const ProductVersion& v = entry.version;
  if (row->offerItem) return {entry.name, entry.description};
  if (row->checkItem) {
    return {FormatText(client_texts::kUpdateTitle, entry.name.c_str(), Signed(v.major),
                   Signed(v.minor), Signed(v.build), Signed(v.subbuild),
                   Signed(entry.size >> 10)),
            entry.description};
  }
  if (row->headingItem) {
    return {FormatText(client_texts::kInstalledTitle, entry.name.c_str(), Signed(v.major),
                   Signed(v.minor), Signed(v.build)),
            FormatText(client_texts::kInstalledBody, entry.name.c_str())};
  }
  return {};
}

std::string BuildDescriptionRtf(const RowDescription& description) {
  std::string text = client_texts::kRtfHeader;
  text += "\\b ";
  AppendPlainText(text, description.title);
  text += " \\b0 ";
  text += kParagraph;
  AppendPlainText(text, description.body);
  text += kParagraph;
  return text;
}

}  // namespace zvu
