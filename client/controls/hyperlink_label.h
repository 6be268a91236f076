#pragma once

#include <windows.h>

namespace zvu {

// Names of the window properties a link label and its parent carry.
inline constexpr char kHyperlinkOriginalProc[] = "_Hyperlink_Original_Proc_";
inline constexpr char kHyperlinkOriginalFont[] = "_Hyperlink_Original_Font_";
inline constexpr char kHyperlinkUnderlineFont[] = "_Hyperlink_Underline_Font_";
inline constexpr char kHyperlinkFromStatic[] = "_Hyperlink_From_Static_";

// Link text colour (red 0, green 0, blue 192).
inline constexpr COLORREF kHyperlinkColour = RGB(0, 0, 192);

// Turns a static text control of a dialog into a link label: link colour,
// underlined while the mouse is over it, hand cursor, and clicks reported to
// the parent as STN_CLICKED. The label and its parent are subclassed; all
// state lives in window properties, and both restore themselves when they
// are destroyed. Call after the dialog exists. Returns true once the label
// is a link label (also when it already was one); false for a window that
// does not exist.
bool MakeHyperlinkLabel(HWND label);

}  // namespace zvu
