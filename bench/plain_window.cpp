// Baseline: the welcome window's frame alone, empty. What any program showing that window costs
// before it hosts anything.
#include <windows.h>

#include "welcome_frame.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const HWND window = bench::CreateWelcomeFrame(instance);
  if (window == nullptr) {
    return 1;
  }
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return bench::RunMessageLoop();
}
