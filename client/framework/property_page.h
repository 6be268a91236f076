#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace zvu {

// One page of a property sheet (or wizard) from a dialog template in the
// program's resources. The page's dialog procedure reaches its C++ object
// through the page descriptor's lParam and keeps it in DWLP_USER.
class PropertyPage {
 public:
  explicit PropertyPage(UINT templateId) : templateId_(templateId) {}
  virtual ~PropertyPage() = default;
  PropertyPage(const PropertyPage&) = delete;
  PropertyPage& operator=(const PropertyPage&) = delete;

  // The page's descriptor. flags are PSP_* flags besides PSP_DEFAULT; a null
  // title, header title or subtitle leaves that field and its flag out.
  PROPSHEETPAGEA Descriptor(DWORD flags, const char* title, const char* headerTitle,
                            const char* headerSubtitle);

  HWND Handle() const { return m_hWnd; }
  // The property sheet the page lives in (its parent), once created.
  HWND Sheet() const { return m_hWnd != nullptr ? GetParent(m_hWnd) : nullptr; }

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnCommand(WORD, WORD, HWND) {}
  // Notifications from the sheet (PSN_*) and from the page's controls. The
  // result goes to the sheet through DWLP_MSGRESULT.
  virtual LRESULT OnNotify(NMHDR* header);
  // Any other message; return TRUE when handled.
  virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;  // name fixed by the product's design

 private:
  static INT_PTR CALLBACK Procedure(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  std::string title_;
  std::string headerTitle_;
  std::string headerSubtitle_;
};

// Runs a property sheet modally over the pages, in order. header carries the
// sheet's flags, caption, parent, pictures and start page; its page fields are
// filled here. The result of PropertySheetA.
INT_PTR RunPropertySheet(PROPSHEETHEADERA header, const std::vector<PropertyPage*>& pages,
                         const std::vector<PROPSHEETPAGEA>& descriptors);

}  // namespace zvu
