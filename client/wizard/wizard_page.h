#pragma once

#include <windows.h>
#include <commctrl.h>

#include "property_page.h"

namespace zvu {

class XUpdateWizard;

// A page of the update wizard. It reaches the wizard it belongs to directly,
// and turns the sheet's notifications into one call each. Each On* returns
// what the sheet expects for that notification (0 lets the sheet go on).
class WizardPage : public PropertyPage {
 public:
  WizardPage(XUpdateWizard& wizard, UINT templateId) : PropertyPage(templateId), wizard_(wizard) {}

  // Whether this page is the sheet's current page.
  bool IsActivePage() const;

 protected:
  // Derived pages call this first: it tells the wizard its sheet.
  BOOL OnInitDialog() override;
  LRESULT OnNotify(NMHDR* header) final;

  virtual LRESULT OnSetActive() { return 0; }
  virtual LRESULT OnWizardNext() { return 0; }
  virtual LRESULT OnWizardBack() { return 0; }
  virtual LRESULT OnWizardFinish() { return 0; }
  // TRUE refuses the cancel request; the wizard then stays open.
  virtual LRESULT OnQueryCancel() { return FALSE; }
  // The sheet is closing by cancel.
  virtual void OnReset() {}
  // Notifications from the page's own controls.
  virtual LRESULT OnControlNotify(NMHDR*) { return 0; }

  XUpdateWizard& Wizard() { return wizard_; }
  const XUpdateWizard& Wizard() const { return wizard_; }
  // Posts the sheet the set-wizard-buttons request (PSWIZB_* flags).
  void SetWizardButtons(DWORD flags) const;
  void SetItemText(int id, const char* text) const;

 private:
  XUpdateWizard& wizard_;
};

}  // namespace zvu
