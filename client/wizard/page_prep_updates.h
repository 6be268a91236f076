#pragma once

#include "wizard_page.h"

namespace zvu {

// Page 1: fetches the catalogue from the update server, parses it and moves
// on to the selection page, or to the error page when either fails.
class XPagePrepUpdates : public WizardPage {
 public:
  static constexpr COLORREF kBarColour = RGB(153, 204, 100);

  explicit XPagePrepUpdates(XUpdateWizard& wizard);

 protected:
  BOOL OnInitDialog() override;
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT OnSetActive() override;
  LRESULT OnQueryCancel() override;
  void OnReset() override;

 private:
  void OnHttpNotify();
  void SetProgress(int position) const;
};

}  // namespace zvu
