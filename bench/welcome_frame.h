// The bare window the baselines open: the welcome window's size, frame and placement, and nothing
// that the least program showing it could leave out.
#pragma once

#include <windows.h>

#include "windows_helpers.h"

namespace bench {

// The welcome window's client area at 96 dpi, the DPI the baselines and the Wine prefix run at.
inline constexpr int kClientWidth = 1042;
inline constexpr int kClientHeight = 731;
// Where the welcome window's page sits inside it, at 96 dpi.
inline constexpr RECT kPageBounds{0, 16, 1025, 689};

inline constexpr DWORD kStyle = WS_POPUP | WS_BORDER;
inline constexpr DWORD kExStyle = WS_EX_TOOLWINDOW;

inline LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Creates the window hidden, centred on the primary monitor's work area; nullptr on failure.
inline HWND CreateWelcomeFrame(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &FrameProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = L"Bench.WelcomeFrame";
  if (!termgate::win32::RegisterWindowClassOnce(windowClass)) {
    return nullptr;
  }

  RECT outer{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - width) / 2;
  const int y = work.top + (work.bottom - work.top - height) / 2;
  return CreateWindowExW(kExStyle, windowClass.lpszClassName, L"", kStyle, x, y, width, height,
                         nullptr, nullptr, instance, nullptr);
}

inline int RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace bench
