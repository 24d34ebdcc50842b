// Holds the test prefix's desktop open between scenarios.
//
// Wine closes a desktop one second after its last program ends: the server unlinks the desktop's
// name and asks explorer.exe, which draws it, to quit. A program that starts while that explorer
// is still on its way out can find no desktop to open, and shows no window. Scenarios start
// Termgate.exe one after another, often about a second apart, so the test session keeps this
// program running: a hidden window on the desktop makes it a user, and the desktop stays, as it
// does on Windows for as long as a person is logged on.
#include <windows.h>

namespace {

constexpr wchar_t kClassName[] = L"TermgateTests.DesktopKeeper";

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &DefWindowProcW;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kClassName;
  if (RegisterClassW(&windowClass) == 0 ||
      CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kClassName, L"", WS_POPUP, 0, 0, 0, 0,
                      nullptr, nullptr, instance, nullptr) == nullptr) {
    return 1;
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    DispatchMessageW(&message);
  }
  return 0;
}
