#include "text_measure.h"

#include "system_dpi.h"
#include "target_windows.h"
#include "windows_owners.h"

namespace termgate::window_spy {

// These rules mirror Termgate's host, so that a change there shows up here as a measured
// difference only if the two disagree: see wizard/win32/host/dpi.cpp (LayoutFont, DefaultFont)
// and wizard/win32/host/form_window.cpp (ApplyDpi). A control with a font in its layout gets
// that face and weight, ANSI_CHARSET, and a character height of its point size at the window's
// DPI; a control without one gets the system message font for that DPI.
LOGFONTW FontOfControl(const ControlLayout& control, UINT dpi) {
  if (!control.font) {
    if (const auto font = win32::SystemMessageFont(dpi)) {
      return *font;
    }
    throw CommandError("the system message font is not available");
  }
  constexpr int kCentipointsPerInch = 7200;
  LOGFONTW font{};
  font.lfHeight = -MulDiv(control.font->centipoints, static_cast<int>(dpi), kCentipointsPerInch);
  font.lfWeight = control.font->weight;
  font.lfCharSet = ANSI_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  const std::wstring face(control.font->face.begin(), control.font->face.end());
  face.copy(font.lfFaceName, LF_FACESIZE - 1);
  return font;
}

SIZE TextExtent(const LOGFONTW& font, std::wstring_view text) {
  const win32::unique_hfont created(CreateFontIndirectW(&font));
  if (!created) {
    throw CommandError("CreateFontIndirectW failed");
  }
  const win32::unique_hdc_screen screen(GetDC(nullptr));
  if (!screen) {
    throw CommandError("no screen DC");
  }
  const win32::unique_select_object selection(screen.get(), created.get());
  SIZE extent{};
  if (!GetTextExtentPoint32W(screen.get(), text.data(), static_cast<int>(text.size()), &extent)) {
    throw CommandError("GetTextExtentPoint32W failed");
  }
  return extent;
}

}  // namespace termgate::window_spy
