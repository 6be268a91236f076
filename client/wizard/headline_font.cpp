#include "headline_font.h"

#include <cstddef>
#include <cstring>

namespace zvu {
namespace {

constexpr LONG kBoldWeight = 700;
constexpr int kHeadlinePoints = 12;
// The face alone: the weight makes it bold. "Verdana Bold" names no face
// on Windows, which then substitutes another font altogether.
constexpr char kHeadlineFace[] = "Verdana";

}  // namespace

int HeadlineFontHeight(int pixelsPerInch) { return -(kHeadlinePoints * pixelsPerInch / 72); }

UniqueFont CreateHeadlineFont() {
  // The metrics record without the padded-border field, which systems
  // before Vista reject.
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
    return UniqueFont();
  }
  LOGFONTA font = metrics.lfMessageFont;
  font.lfWeight = kBoldWeight;
  std::memset(font.lfFaceName, 0, sizeof(font.lfFaceName));
  std::memcpy(font.lfFaceName, kHeadlineFace, sizeof(kHeadlineFace));

  int pixelsPerInch = 96;
  if (HDC screen = GetDC(nullptr)) {
    pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  font.lfHeight = HeadlineFontHeight(pixelsPerInch);
  return UniqueFont(CreateFontIndirectA(&font));
}

UniqueFont CreateBoldCopyOf(HWND control) {
  auto current = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
  if (current == nullptr) current = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTA font{};
  if (GetObjectA(current, sizeof(font), &font) != sizeof(font)) return UniqueFont();
  font.lfWeight = kBoldWeight;
  return UniqueFont(CreateFontIndirectA(&font));
}

}  // namespace zvu
