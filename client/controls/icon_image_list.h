#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "unique_handle.h"

namespace zvu {

// The client's one list of 16x16 wizard pictures. Each picture remembers the
// icon resource it was loaded from, so that code can ask for a picture by
// resource number. Used on the window thread only.
class IconImageList {
 public:
  static constexpr int kIconSize = 16;
  static constexpr int kGrowBy = 100;

  // The one instance, created with an empty list on first use.
  static IconImageList& Instance();

  IconImageList(const IconImageList&) = delete;
  IconImageList& operator=(const IconImageList&) = delete;

  // Forgets every picture: destroys the image list and creates a new empty
  // one. Returns whether the new list could be created.
  bool Reset();

  // Loads icon resource `resourceNumber` of the program and appends it.
  // Returns the loaded icon, which the caller keeps and destroys; null when
  // the resource cannot be loaded or added, and then nothing changes.
  HICON AddIcon(UINT resourceNumber);

  // Position of the first picture loaded from `resourceNumber`; 0 when
  // none was.
  int IndexOf(UINT resourceNumber) const;

  HIMAGELIST Images() const { return images_.get(); }

 private:
  IconImageList();
  ~IconImageList() = default;

  UniqueImageList images_;
  std::vector<UINT> resourceNumbers_;  // one per picture, in picture order
};

}  // namespace zvu
