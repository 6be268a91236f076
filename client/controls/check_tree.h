#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>

#include "catalogue_entry.h"

namespace zvu {

// Sent (not posted) by XCheckTree to its parent when the selection has moved
// to a row. wParam: the tree view's NMTREEVIEW selection-changed block;
// lParam: the CheckTreeItemData of the newly selected row, or null.
extern const UINT WM_XCHECKTREECTRL_TVN_SELECTION;

// The record XCheckTree attaches to each row it inserts. Exactly one of the
// three kind flags is 1.
struct CheckTreeItemData {
  uint8_t offerItem = 0;    // root-level product on offer
  uint8_t checkItem = 0;    // update row with a check box; only these toggle
  uint8_t headingItem = 0;  // installed-version heading
  uint8_t reserved1 = 0;
  uint8_t reserved2 = 0;
  int32_t checkState = -1;  // -1 no check box, 0 unchecked, 1 checked
  // The caller's record, not owned. For a check row the UpdateEntry whose
  // `offered` flag mirrors checkState.
  CatalogueEntry* object = nullptr;
};

// A tree view whose update rows carry a check box drawn as an item picture.
// A click on such a row, or the space bar on the focused one, toggles it and
// writes the choice straight into the row's UpdateEntry. Each row's state
// picture index tells accessibility tools whether it has a box and whether
// that box is ticked. The tree's normal image list must hold, in order, the
// checked box, the unchecked box, the offered-product picture and the
// installed-heading picture (see IconImageList).
//
// The object subclasses the tree view and its parent: it answers the tree's
// click, double-click and selection notifications itself (the parent never
// sees them) and frees its row records when the tree is destroyed.
class XCheckTree {
 public:
  enum Picture { kCheckedBox = 0, kUncheckedBox = 1, kOfferedProduct = 2, kInstalledHeading = 3 };
  // A row's state picture index as the check-box style reads it: none for
  // rows without a box, 1 unticked, 2 ticked. The tree shows no state
  // pictures; accessibility tools read the index.
  enum BoxState : UINT { kNoBoxState = 0, kUntickedState = 1, kTickedState = 2 };

  // Styles the selection page gives the tree: child, visible, border, tab
  // stop, has buttons, has lines, lines at root, no drag and drop.
  static constexpr DWORD kTreeStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP |
                                      TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                      TVS_DISABLEDRAGDROP;

  XCheckTree() = default;
  // Frees the row records and lets go of the windows if the tree still exists.
  ~XCheckTree();
  XCheckTree(const XCheckTree&) = delete;
  XCheckTree& operator=(const XCheckTree&) = delete;

  // Takes over an existing tree view (e.g. a dialog's) and gives it the
  // check-box style. Returns false if the window is not a tree view with a
  // parent, or a tree is already attached.
  bool Attach(HWND tree);
  // Creates a tree view with kTreeStyle and attaches it; null on failure.
  HWND Create(HWND parent, const RECT& rect, int id);
  HWND hwnd() const { return tree_; }

  // Each appends a row after the last child of its parent and returns it
  // (null on failure, when nothing is left behind).
  HTREEITEM InsertCheckItem(const std::string& text, HTREEITEM parent, UpdateEntry* entry);
  HTREEITEM InsertOfferItem(const std::string& text, HTREEITEM parent, CatalogueEntry* object);
  HTREEITEM InsertHeadingItem(const std::string& text, CatalogueEntry* object);

  // The record of a row, or null.
  CheckTreeItemData* ItemData(HTREEITEM item) const;

 private:
  static LRESULT CALLBACK TreeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR self);
  static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);

  HTREEITEM InsertRow(const std::string& text, HTREEITEM parent, int picture,
                      const CheckTreeItemData& record);
  bool HandleNotify(NMHDR& header, LRESULT& result);
  void ToggleRowUnderClick();
  // Ticks or unticks a check row that has an entry; other rows stay as they are.
  void ToggleRow(HTREEITEM item);
  // A check row's pictures and state picture index.
  void SetRowBox(HTREEITEM item, bool ticked);
  void DropStatePictures() const;
  static int BoxPicture(bool ticked) { return ticked ? kCheckedBox : kUncheckedBox; }
  static UINT StateIndex(int32_t checkState);
  HTREEITEM Relative(HTREEITEM item, UINT relation) const;
  void NotifySelection(NMTREEVIEWW& change);
  void ForgetRecord(NMTREEVIEWW& deleted);
  void FreeAllRecords();
  void Detach();

  HWND tree_ = nullptr;
  HWND parent_ = nullptr;
};

}  // namespace zvu
