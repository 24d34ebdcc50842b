// Baseline: the welcome window's frame hosting one system browser control at the page's place,
// navigated to the welcome page, shown. The least a program has to do to show the welcome window.
//
// Usage: browser_window [page]   (default: index.html beside this program)
#include <windows.h>
#include <ole2.h>

#include <memory>
#include <string>

#include "web_browser_control.h"
#include "welcome_frame.h"
#include "windows_helpers.h"
#include "windows_owners.h"

namespace {

std::wstring PageBesideProgram() {
  return termgate::win32::FolderOf(termgate::win32::ModuleFileName().value_or(L"")) +
         L"\\index.html";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const std::wstring page = __argc > 1 ? std::wstring(__wargv[1]) : PageBesideProgram();

  const termgate::win32::unique_oleuninitialize_call ole;
  if (FAILED(ole.result())) {
    return 1;
  }
  const HWND window = bench::CreateWelcomeFrame(instance);
  if (window == nullptr) {
    return 1;
  }
  std::unique_ptr<termgate::win32::WebBrowserControl> browser;
  if (FAILED(termgate::win32::WebBrowserControl::Create(window, bench::kPageBounds, browser)) ||
      FAILED(browser->Navigate2(page))) {
    DestroyWindow(window);
    return 1;
  }
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  const int result = bench::RunMessageLoop();
  browser.reset();
  return result;
}
