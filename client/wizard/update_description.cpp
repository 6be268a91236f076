#include "update_description.h"

#include "client_texts.h"
#include "format_text.h"

namespace zvu {
namespace {

int Signed(uint32_t value) { return static_cast<int>(value); }

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
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
  text += description.title;
  text += " \\b0 ";
  text += " \\par ";
  text += description.body;
  text += " \\par ";
  ReplaceAll(text, "\\n", " \\par ");
  ReplaceAll(text, "\n", " \\par ");
  return text;
}

}  // namespace zvu
