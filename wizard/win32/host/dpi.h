// Pixels from twips at a window's DPI, and window sizes and fonts for a DPI.
#pragma once

#include <windows.h>

#include "layouts.h"
#include "system_dpi.h"

namespace termgate::win32 {

// Edges are rounded, not sizes, so controls that touch in twips touch in pixels too.
int TwipsToPixels(int twips, UINT dpi);
RECT PixelRect(const ControlLayout& control, UINT dpi);
// Font height in pixels (negative: character height) for a size in hundredths of a point.
int FontHeight(int centipoints, UINT dpi);

// The outer rectangle (at 0,0) of a window with this client size, style and DPI.
RECT WindowRectForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi);

// The system's message font at `dpi`: the host's default font.
LOGFONTW DefaultFont(UINT dpi);

}  // namespace termgate::win32
