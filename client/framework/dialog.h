#pragma once

#include <windows.h>

namespace zvu {

// A dialog box from a template in the program's resources, whose dialog
// procedure reaches its C++ object (kept in DWLP_USER from WM_INITDIALOG on).
class Dialog {
 public:
  explicit Dialog(UINT templateId) : templateId_(templateId) {}
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally; the result of EndDialog, or -1 when the dialog
  // could not be created.
  INT_PTR DoModal(HWND owner);

  HWND Handle() const { return m_hWnd; }
  UINT TemplateId() const { return templateId_; }

 protected:
  // Return TRUE to let the system set the focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  // A command from a control or a button. The default ends the dialog on
  // IDOK and IDCANCEL.
  virtual void OnCommand(WORD id, WORD code, HWND control);
  // Any other message; return TRUE when handled (the dialog result value is
  // then set with SetWindowLongPtr(DWLP_MSGRESULT) where needed).
  virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;  // name fixed by the product's design

 private:
  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
};

}  // namespace zvu
