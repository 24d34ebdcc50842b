// Pixels from twips at a window's DPI, and the DPI functions of newer Windows, bound at run time
// so that the program still starts where they are missing (it then behaves as DPI-unaware).
#pragma once

#include <windows.h>

#include "layouts.h"

namespace termgate::win32 {

inline constexpr UINT kDefaultDpi = 96;

void BecomePerMonitorDpiAware();
UINT DpiOfWindow(HWND window);

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
