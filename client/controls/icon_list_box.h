#pragma once

#include <windows.h>

#include <string>

#include "catalogue_entry.h"

namespace zvu {

// Owner-drawn list box of the closing wizard page: one row per update, with a
// success or failure picture and the product's name and version. Each row's
// item data is the address of the UpdateEntry it shows (not owned); the row
// text is always rebuilt from the entry.
//
// The list box sends its owner-draw requests to its parent; the object
// subclasses the parent to answer those of its own list box, and lets every
// other message through.
class XIconListBox {
 public:
  static constexpr UINT kItemHeight = 32;
  static constexpr UINT kSuccessIcon = 161;  // downloaded and installed
  static constexpr UINT kFailureIcon = 163;  // download or installation failed
  static constexpr int kTextIndent = 20;

  // Styles of a list box this object creates itself.
  static constexpr DWORD kCreateStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_BORDER |
                                        WS_TABSTOP | LBS_NOTIFY | LBS_OWNERDRAWFIXED |
                                        LBS_NOINTEGRALHEIGHT;

  XIconListBox() = default;
  ~XIconListBox();
  XIconListBox(const XIconListBox&) = delete;
  XIconListBox& operator=(const XIconListBox&) = delete;

  // Takes over an existing owner-drawn (fixed) list box, e.g. one of a
  // dialog. Returns false if the window is not a list box or one is already
  // attached.
  bool Attach(HWND listBox);
  // Creates a list box with kCreateStyle and attaches it; null on failure.
  HWND Create(HWND parent, const RECT& rect, int id);
  HWND hwnd() const { return listBox_; }

  // Appends a row for `entry` (the stored text is kept for accessibility
  // only). Returns the row's index, or LB_ERR.
  int AddEntry(const std::string& text, UpdateEntry* entry);

  // The owner-draw answers.
  void MeasureItem(MEASUREITEMSTRUCT& measure) const;
  void DrawItem(const DRAWITEMSTRUCT& draw) const;
  // Rows are never reordered: every comparison answers "equal".
  int CompareItem(const COMPAREITEMSTRUCT&) const { return 0; }

 private:
  static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
  static LRESULT CALLBACK ListBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR self);
  bool SubclassParent(HWND parent);
  void Detach();

  HWND listBox_ = nullptr;
  HWND parent_ = nullptr;
  int controlId_ = 0;
};

}  // namespace zvu
