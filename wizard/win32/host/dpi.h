// Pixels from twips at a window's DPI, and window sizes and fonts for a DPI.
#pragma once

#include <windows.h>

#include "layouts.h"
#include "system_dpi.h"

namespace termgate::win32 {

// Edges are rounded, not sizes, so controls that touch in twips touch in pixels too.
int TwipsToPixels(int twips, UINT dpi);
RECT PixelRect(const ControlLayout& control, UINT dpi);
// The font a layout gives a control, at `dpi`.
LOGFONTW LayoutFont(const FontDescription& font, UINT dpi);

// The outer rectangle (at 0,0) of a window with this client size, style and DPI.
RECT WindowRectForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi);

// The system's message font at `dpi`: the host's default font.
LOGFONTW DefaultFont(UINT dpi);

}  // namespace termgate::win32
