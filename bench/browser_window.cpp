// Baseline: the welcome window's frame hosting one system browser control at the page's place,
// navigated to the welcome page, shown. The least a program has to do to show the welcome window.
//
// Usage: browser_window [page]   (default: index.html beside this program)
#include <windows.h>
#include <ole2.h>

#include <memory>
#include <string>

#include "ole_scope.h"
#include "web_browser_control.h"
#include "welcome_frame.h"

namespace {

std::wstring PageBesideProgram() {
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  const std::size_t separator = path.find_last_of(L"\\/");
  path.resize(separator == std::wstring::npos ? 0 : separator);
  return path + L"\\index.html";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const std::wstring page = __argc > 1 ? std::wstring(__wargv[1]) : PageBesideProgram();

  const termgate::win32::OleScope ole;
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
