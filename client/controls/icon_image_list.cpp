#include "icon_image_list.h"

#include <algorithm>

namespace zvu {

namespace {

HIMAGELIST CreateEmptyList() {
  return ImageList_Create(IconImageList::kIconSize, IconImageList::kIconSize,
                          ILC_COLOR32 | ILC_MASK, 0, IconImageList::kGrowBy);
}

}  // namespace

IconImageList& IconImageList::Instance() {
  static IconImageList instance;
  return instance;
}

IconImageList::IconImageList() : images_(CreateEmptyList()) {}

bool IconImageList::Reset() {
  resourceNumbers_.clear();
  images_.reset(CreateEmptyList());
  return images_.valid();
}

HICON IconImageList::AddIcon(UINT resourceNumber) {
  // The icons carry a picture drawn for the list's size; load that one
  // rather than shrinking the large one.
  UniqueIcon icon(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                                MAKEINTRESOURCEW(resourceNumber), IMAGE_ICON,
                                                kIconSize, kIconSize, LR_LOADTRANSPARENT)));
  if (!icon) return nullptr;
  // The numbers and the pictures stay in step: a picture that cannot be
  // added leaves both as they were.
  if (!images_ || ImageList_AddIcon(images_.get(), icon.get()) < 0) return nullptr;
  resourceNumbers_.push_back(resourceNumber);
  return icon.release();
}

int IconImageList::IndexOf(UINT resourceNumber) const {
  auto found = std::find(resourceNumbers_.begin(), resourceNumbers_.end(), resourceNumber);
  return found == resourceNumbers_.end() ? 0
                                         : static_cast<int>(found - resourceNumbers_.begin());
}

}  // namespace zvu
