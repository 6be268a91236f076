#pragma once

#include <windows.h>

#include "unique_handle.h"

namespace zvu {

// The bold headline font of the welcome, finish and error pages: the
// system's message font, face "Verdana" at weight 700, 12 points at the
// screen's vertical resolution (-16 at 96 pixels per inch). Null when the
// font cannot be made; the label then keeps its own.
UniqueFont CreateHeadlineFont();

// The headline height in pixels (negative: character height) for a screen
// with pixelsPerInch vertical pixels per logical inch.
int HeadlineFontHeight(int pixelsPerInch);

// A copy of control's current font with weight 700, or null.
UniqueFont CreateBoldCopyOf(HWND control);

}  // namespace zvu
