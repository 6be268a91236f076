#pragma once

#include <string>

#include "icon_list_box.h"
#include "unique_handle.h"
#include "wizard_page.h"

namespace zvu {

// Page 4: lists the chosen updates with a success or failure picture; the
// line under the list tells, for the selected one, whether it was
// downloaded and installed.
class XPageFinish : public WizardPage {
 public:
  explicit XPageFinish(XUpdateWizard& wizard);

  // The result line for an update's flags.
  static const char* ResultLine(const UpdateEntry& update);
  // The list's row for an update: its name and version.
  static std::string ResultRow(const UpdateEntry& update);

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(WORD id, WORD code, HWND control) override;
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT OnSetActive() override;

 private:
  XIconListBox resultList_;
  UniqueFont headlineFont_;
};

}  // namespace zvu
