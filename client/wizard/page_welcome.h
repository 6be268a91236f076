#pragma once

#include "unique_handle.h"
#include "wizard_page.h"

namespace zvu {

// Page 0: greets the user and lists the maker's products installed here,
// one sorted line each ("Alpha Version 2.1").
class XPageWelcome : public WizardPage {
 public:
  explicit XPageWelcome(XUpdateWizard& wizard);

 protected:
  BOOL OnInitDialog() override;
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT OnSetActive() override;
  LRESULT OnQueryCancel() override;

 private:
  UniqueFont headlineFont_;
  UniqueFont nextLabelFont_;
};

}  // namespace zvu
