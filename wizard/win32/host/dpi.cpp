#include "dpi.h"

#include <string>

#include "wide_text.h"

namespace termgate::win32 {

int TwipsToPixels(int twips, UINT dpi) {
  return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch);
}

RECT PixelRect(const ControlLayout& control, UINT dpi) {
  return RECT{TwipsToPixels(control.left, dpi), TwipsToPixels(control.top, dpi),
              TwipsToPixels(control.left + control.width, dpi),
              TwipsToPixels(control.top + control.height, dpi)};
}

LOGFONTW LayoutFont(const FontDescription& font, UINT dpi) {
  constexpr int kCentipointsPerInch = 7200;
  LOGFONTW logFont{};
  // Negative: the character height, as a point size means.
  logFont.lfHeight = -MulDiv(font.centipoints, static_cast<int>(dpi), kCentipointsPerInch);
  logFont.lfWeight = font.weight;
  logFont.lfCharSet = ANSI_CHARSET;
  logFont.lfQuality = CLEARTYPE_QUALITY;
  const std::wstring face = Wide(font.face);
  face.copy(logFont.lfFaceName, LF_FACESIZE - 1);
  return logFont;
}

RECT WindowRectForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi) {
  using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  RECT rect{0, 0, client.cx, client.cy};
  if (const auto adjust = User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi")) {
    adjust(&rect, style, FALSE, exStyle, dpi);
  } else {
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
  }
  return rect;
}

LOGFONTW DefaultFont(UINT dpi) {
  if (const auto font = SystemMessageFont(dpi)) {
    return *font;
  }
  LOGFONTW fallback{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof fallback, &fallback);
  return fallback;
}

}  // namespace termgate::win32
