#pragma once

#include <windows.h>
#include <richedit.h>

#include "check_tree.h"
#include "wizard_page.h"

namespace zvu {

// Page 2: the check-box tree of offered products and applicable updates,
// and the description of the selected row. The user's ticks live in the
// updates' `offered` flags.
class XPageListUpdates : public WizardPage {
 public:
  // Tree styles: child, visible, border, tab stop, buttons, lines, lines at
  // root, no drag and drop.
  static constexpr DWORD kTreeStyle = 0x50810017;

  explicit XPageListUpdates(XUpdateWizard& wizard);

  XCheckTree& Tree() { return tree_; }

 protected:
  BOOL OnInitDialog() override;
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT OnSetActive() override;
  LRESULT OnWizardNext() override;
  LRESULT OnQueryCancel() override;
  LRESULT OnControlNotify(NMHDR* header) override;

 private:
  void PrepareDescriptionPane() const;
  void FillTree();
  void ShowDescription(const CheckTreeItemData* row) const;
  void OpenClickedLink(const ENLINK& link) const;

  XCheckTree tree_;
};

}  // namespace zvu
