// What the system says about DPI, through the functions of newer Windows bound at run time, so
// that a program still starts where they are missing (it then behaves as DPI-unaware).
#pragma once

#include <windows.h>

#include <optional>

#include "windows_helpers.h"
#include "windows_owners.h"

namespace termgate::win32 {

inline constexpr UINT kDefaultDpi = 96;

// False where Windows lacks SetProcessDpiAwarenessContext or refuses the context (also when the
// process's awareness is set already, by its manifest or an earlier call).
inline bool SetDpiAwareness(DPI_AWARENESS_CONTEXT context) {
  using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
  const auto set = User32Function<SetProcessDpiAwarenessContextFn>("SetProcessDpiAwarenessContext");
  return set != nullptr && set(context) != FALSE;
}

// The window's DPI; the screen's where Windows cannot tell a window's own.
inline UINT DpiOfWindow(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  if (const auto get = User32Function<GetDpiForWindowFn>("GetDpiForWindow")) {
    if (const UINT dpi = get(window); dpi != 0) {
      return dpi;
    }
  }
  const unique_hdc_screen screen(GetDC(nullptr));
  const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

// The system's message font as a window of `dpi` gets it; nullopt when the system does not say.
inline std::optional<LOGFONTW> SystemMessageFont(UINT dpi) {
  using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
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
  return std::nullopt;
}

}  // namespace termgate::win32
