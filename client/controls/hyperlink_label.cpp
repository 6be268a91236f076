#include "hyperlink_label.h"

#include "unique_handle.h"

namespace zvu {

namespace {

WNDPROC SavedProc(HWND window) {
  return reinterpret_cast<WNDPROC>(GetPropA(window, kHyperlinkOriginalProc));
}

LRESULT CallSaved(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC saved = SavedProc(window);
  return saved != nullptr ? CallWindowProcW(saved, window, message, wParam, lParam)
                          : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK LinkParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORSTATIC: {
      auto control = reinterpret_cast<HWND>(lParam);
      if (GetPropA(control, kHyperlinkFromStatic) == nullptr) break;
      auto dc = reinterpret_cast<HDC>(wParam);
      SetBkMode(dc, TRANSPARENT);
      LRESULT brush = CallSaved(window, message, wParam, lParam);
      SetTextColor(dc, kHyperlinkColour);
      return brush;
    }
    case WM_DESTROY: {
      WNDPROC saved = SavedProc(window);
      if (saved != nullptr) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(saved));
        RemovePropA(window, kHyperlinkOriginalProc);
        return CallWindowProcW(saved, window, message, wParam, lParam);
      }
      break;
    }
    default:
      break;
  }
  return CallSaved(window, message, wParam, lParam);
}

bool IsPointInWindow(HWND window, POINT clientPoint) {
  ClientToScreen(window, &clientPoint);
  RECT bounds;
  return GetWindowRect(window, &bounds) && PtInRect(&bounds, clientPoint);
}

LRESULT CALLBACK LinkLabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETCURSOR:
      SetCursor(LoadCursorA(nullptr, IDC_HAND));
      return TRUE;
    case WM_MOUSEMOVE:
      if (GetCapture() != window) {
        SendMessageW(window, WM_SETFONT,
                     reinterpret_cast<WPARAM>(GetPropA(window, kHyperlinkUnderlineFont)), FALSE);
        InvalidateRect(window, nullptr, TRUE);
        SetCapture(window);
      } else {
        POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (!IsPointInWindow(window, point)) {
          SendMessageW(window, WM_SETFONT,
                       reinterpret_cast<WPARAM>(GetPropA(window, kHyperlinkOriginalFont)), FALSE);
          InvalidateRect(GetParent(window), nullptr, FALSE);
          ReleaseCapture();
        }
      }
      break;
    case WM_DESTROY: {
      WNDPROC saved = SavedProc(window);
      if (saved == nullptr) break;
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(saved));
      SendMessageW(window, WM_SETFONT,
                   reinterpret_cast<WPARAM>(GetPropA(window, kHyperlinkOriginalFont)), FALSE);
      // The label draws with its original font again, so the underlined one
      // is no longer in use.
      const UniqueFont underline(static_cast<HFONT>(GetPropA(window, kHyperlinkUnderlineFont)));
      RemovePropA(window, kHyperlinkOriginalProc);
      RemovePropA(window, kHyperlinkOriginalFont);
      RemovePropA(window, kHyperlinkUnderlineFont);
      RemovePropA(window, kHyperlinkFromStatic);
      return CallWindowProcW(saved, window, message, wParam, lParam);
    }
    default:
      break;
  }
  return CallSaved(window, message, wParam, lParam);
}

// The font description to underline: the label's own font, or the system
// font the label draws with when it has none.
LOGFONTW FontDescription(HFONT font) {
  LOGFONTW description = {};
  if (font == nullptr || GetObjectW(font, sizeof description, &description) == 0)
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof description, &description);
  return description;
}

}  // namespace

bool MakeHyperlinkLabel(HWND label) {
  if (!IsWindow(label)) return false;
  // A label converted twice would save its own link procedure as the one to
  // call on, and then call itself without end.
  if (GetWindowLongPtrW(label, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&LinkLabelProc))
    return true;

  HWND parent = GetParent(label);
  if (parent != nullptr &&
      GetWindowLongPtrW(parent, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&LinkParentProc)) {
    SetPropA(parent, kHyperlinkOriginalProc,
             reinterpret_cast<HANDLE>(GetWindowLongPtrW(parent, GWLP_WNDPROC)));
    SetWindowLongPtrW(parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LinkParentProc));
  }

  SetWindowLongPtrW(label, GWL_STYLE, GetWindowLongPtrW(label, GWL_STYLE) | SS_NOTIFY);

  SetPropA(label, kHyperlinkOriginalProc,
           reinterpret_cast<HANDLE>(GetWindowLongPtrW(label, GWLP_WNDPROC)));
  SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LinkLabelProc));

  auto original = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
  LOGFONTW underlined = FontDescription(original);
  underlined.lfUnderline = TRUE;
  SetPropA(label, kHyperlinkOriginalFont, original);
  SetPropA(label, kHyperlinkUnderlineFont, CreateFontIndirectW(&underlined));
  SetPropA(label, kHyperlinkFromStatic, reinterpret_cast<HANDLE>(1));
  return true;
}

}  // namespace zvu
