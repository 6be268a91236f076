#pragma once

#include <string>

#include "check_tree.h"

namespace zvu {

// What the selection page's description pane shows for one tree row.
struct RowDescription {
  std::string title;
  std::string body;
};

// Title and body for a row, by its kind:
//   offered product  its name; its description
//   update           "name a.b.c.d (NkB)" with the size >> 10; its description
//   heading          "name a.b.c" of the installed record; a line that says it
//                    is the installed version; both empty without a record
RowDescription DescribeRow(const CheckTreeItemData* row);

// The rich text the pane is given: a fixed RTF prologue, the title in bold
// and the body, each followed by a paragraph mark. In title and body, the
// two characters backslash, n (as catalogue descriptions write line breaks)
// and every line feed become paragraph marks; every other backslash and
// every brace is escaped, so that the pane shows them as written and a
// description cannot end the text's group or bring control words of its own.
std::string BuildDescriptionRtf(const RowDescription& description);

}  // namespace zvu
