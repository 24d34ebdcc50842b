// Holds the test prefix's desktop open between scenarios.
//
// Wine closes a desktop one second after its last program ends: the server unlinks the desktop's
// name and asks explorer.exe, which draws it, to quit. A program that starts while that explorer
// is still on its way out can find no desktop to open, and shows no window. Scenarios start
// Termgate.exe one after another, often about a second apart, so the test session keeps this
// program on the desktop, as a person stays logged on.
//
// It has no window. Every program with windows takes part in `wineboot --end-session`, which asks
// them one program after the other; when a program ends while answers for some of its windows are
// still due (Termgate ends on the first WM_ENDSESSION it handles), Wine 8's wineboot counts those
// late answers against the next program's windows, whose tally then never comes out even, and
// waits for a person to click its "Waiting for Program" box. Without a window, this program is
// never asked, never follows Termgate, and outlives the ends of sessions.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Its first call to the window manager makes the process a user of the desktop.
  if (GetDesktopWindow() == nullptr) {
    return 1;
  }
  const HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (never == nullptr) {
    return 1;
  }
  WaitForSingleObject(never, INFINITE);
  return 0;
}
