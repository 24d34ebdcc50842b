#include "dpi.h"

namespace termgate::win32 {

namespace {

template <class Function>
Function User32Function(const char* name) {
  // user32 is loaded in every GUI process, so this never loads a library from disk.
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 == nullptr
             ? nullptr
             : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);

}  // namespace

void BecomePerMonitorDpiAware() {
  // The manifest asks for this already; the call covers a manifest that a loader ignored, and
  // fails harmlessly when the awareness is set.
  if (const auto set =
          User32Function<SetProcessDpiAwarenessContextFn>("SetProcessDpiAwarenessContext")) {
    set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  }
}

UINT DpiOfWindow(HWND window) {
  if (const auto get = User32Function<GetDpiForWindowFn>("GetDpiForWindow")) {
    if (const UINT dpi = get(window); dpi != 0) {
      return dpi;
    }
  }
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

int TwipsToPixels(int twips, UINT dpi) {
  return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch);
}

RECT PixelRect(const ControlLayout& control, UINT dpi) {
  return RECT{TwipsToPixels(control.left, dpi), TwipsToPixels(control.top, dpi),
              TwipsToPixels(control.left + control.width, dpi),
              TwipsToPixels(control.top + control.height, dpi)};
}

int FontHeight(int centipoints, UINT dpi) {
  constexpr int kCentipointsPerInch = 7200;
  return -MulDiv(centipoints, static_cast<int>(dpi), kCentipointsPerInch);
}

RECT WindowRectForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi) {
  RECT rect{0, 0, client.cx, client.cy};
  if (const auto adjust = User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi")) {
    adjust(&rect, style, FALSE, exStyle, dpi);
  } else {
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
  }
  return rect;
}

LOGFONTW DefaultFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (const auto get = User32Function<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi")) {
    if (get(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
      return metrics.lfMessageFont;
    }
  }
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return metrics.lfMessageFont;
  }
  LOGFONTW fallback{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof fallback, &fallback);
  return fallback;
}

}  // namespace termgate::win32
