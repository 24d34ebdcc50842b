#include "modal_box.h"

#include "runtime_error.h"
#include "windows_owners.h"

namespace termgate::win32 {

namespace {

// Set while a box is open on this thread, by the hook that watches the box's message loop.
thread_local bool quitWhileAsking = false;

LRESULT CALLBACK WatchForQuit(int code, WPARAM removed, LPARAM message) {
  if (code == HC_ACTION && removed == PM_REMOVE &&
      reinterpret_cast<const MSG*>(message)->message == WM_QUIT) {
    quitWhileAsking = true;
  }
  return CallNextHookEx(nullptr, code, removed, message);
}

}  // namespace

std::optional<int> AskWithMessageBox(const std::wstring& prompt, const std::wstring& title,
                                     UINT buttons) {
  // A box's own loop takes WM_QUIT as "close with the default button" (IDOK under Wine), which
  // would pass off a request to quit as a person's consent. The hook sees every message the loop
  // takes, so a quit is told apart from a click whatever the box then returns.
  quitWhileAsking = false;
  const unique_hhook hook(
      SetWindowsHookExW(WH_GETMESSAGE, &WatchForQuit, nullptr, GetCurrentThreadId()));
  if (!hook) {
    throw runtime_errors::OutOfMemory();
  }
  // MB_TASKMODAL disables the thread's windows for as long as the box is open, as the form run
  // time's boxes do; the host also ignores clicks that reach a control by other means.
  const int answer = MessageBoxW(nullptr, prompt.c_str(), title.c_str(),
                                 buttons | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST);
  if (quitWhileAsking) {
    return std::nullopt;
  }
  if (answer == 0) {
    throw runtime_errors::OutOfMemory();
  }
  return answer;
}

}  // namespace termgate::win32
