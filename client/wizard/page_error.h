#pragma once

#include "unique_handle.h"
#include "wizard_page.h"

namespace zvu {

// Page 5: every ending other than a finished run: the catalogue could not
// be fetched or parsed, the user cancelled, or nothing was chosen.
class XPageError : public WizardPage {
 public:
  explicit XPageError(XUpdateWizard& wizard);

  // Replaces the explanation (the label with id -1) and the headline (IDC_ERROR_HEADLINE).
  // Only once the page's window exists, that is after it was made active.
  void SetTexts(const char* explanation, const char* headline) const;

 protected:
  BOOL OnInitDialog() override;
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT OnSetActive() override;
  LRESULT OnWizardBack() override;

 private:
  HWND ExplanationLabel() const;

  UniqueFont headlineFont_;
};

}  // namespace zvu
