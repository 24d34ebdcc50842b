#include "modal_box.h"

#include <array>
#include <string_view>

#include "runtime_error.h"
#include "windows_owners.h"

namespace termgate::win32 {

namespace {

// What the hooks learn about the box open on this thread.
struct OpenBox {
  bool quit = false;
  // When the box came up, in GetTickCount's milliseconds, which MSG::time uses too.
  DWORD shownAt = 0;
  // Keys that were down before the box came up, or pressed before it, and not yet released.
  std::array<bool, 256> held{};
};

thread_local OpenBox* openBox = nullptr;

void NoteKeysDown(OpenBox& box) {
  BYTE keys[256]{};
  if (GetKeyboardState(keys)) {
    for (std::size_t key = 0; key < box.held.size(); ++key) {
      box.held[key] = box.held[key] || (keys[key] & 0x80) != 0;
    }
  }
}

// A key-down that is no fresh press made while the box was on screen: the keyboard's auto-repeat
// (lParam bit 30, the key was down already), a key held since before the box came up, or one
// typed ahead while the program was still opening it. The key stays refused until released.
bool IsStaleKeyDown(OpenBox& box, const MSG& message) {
  const std::size_t key = message.wParam & 0xFF;
  const bool repeated = (message.lParam & (1 << 30)) != 0;
  const bool typedBefore = static_cast<LONG>(message.time - box.shownAt) <= 0;
  if (repeated || typedBefore || box.held[key]) {
    box.held[key] = true;
    return true;
  }
  return false;
}

LRESULT CALLBACK WatchMessages(int code, WPARAM removed, LPARAM lParam) {
  auto* message = reinterpret_cast<MSG*>(lParam);
  if (code == HC_ACTION && removed == PM_REMOVE && openBox != nullptr) {
    switch (message->message) {
      case WM_QUIT:
        openBox->quit = true;
        break;
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
        if (IsStaleKeyDown(*openBox, *message)) {
          message->message = WM_NULL;  // the box's own loop then sees nothing
        }
        break;
      case WM_KEYUP:
      case WM_SYSKEYUP:
        openBox->held[message->wParam & 0xFF] = false;
        break;
      default:
        break;
    }
  }
  return CallNextHookEx(nullptr, code, removed, lParam);
}

LRESULT CALLBACK WatchActivation(int code, WPARAM window, LPARAM lParam) {
  // The box is on screen once it is activated: from then on a key press can be a reply to it.
  if (code == HCBT_ACTIVATE && openBox != nullptr) {
    wchar_t className[8]{};
    if (GetClassNameW(reinterpret_cast<HWND>(window), className, 8) > 0 &&
        std::wstring_view(className) == L"#32770") {
      openBox->shownAt = GetTickCount();
      NoteKeysDown(*openBox);
    }
  }
  return CallNextHookEx(nullptr, code, window, lParam);
}

int OnlyShownButtons(int answer, UINT buttons) {
  // WM_COMMAND with IDYES, IDNO or IDABORT, posted to a box by another program, ends it with that
  // code although the box shows no such button. Where Cancel is offered, anything but OK is
  // Cancel; with OK alone, whatever ends the box is that OK.
  switch (buttons & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return answer == IDOK ? IDOK : IDCANCEL;
    case MB_OK:
      return IDOK;
    default:
      return answer;
  }
}

}  // namespace

std::optional<int> AskWithMessageBox(const std::wstring& prompt, const std::wstring& title,
                                     UINT buttons) {
  // A box's own loop takes WM_QUIT as "close with the default button" (IDOK under Wine), which
  // would pass off a request to quit as a person's consent, and it acts on a key that was held
  // down (or typed ahead) before anyone could read the box. The hooks see every message the loop
  // takes and the moment the box comes up.
  OpenBox box;
  box.shownAt = GetTickCount();
  NoteKeysDown(box);
  openBox = &box;
  struct Forget {
    ~Forget() { openBox = nullptr; }
  } forget;
  const unique_hhook messages(
      SetWindowsHookExW(WH_GETMESSAGE, &WatchMessages, nullptr, GetCurrentThreadId()));
  const unique_hhook activation(
      SetWindowsHookExW(WH_CBT, &WatchActivation, nullptr, GetCurrentThreadId()));
  if (!messages || !activation) {
    throw runtime_errors::OutOfMemory();
  }
  // MB_TASKMODAL disables the thread's windows for as long as the box is open, as the form run
  // time's boxes do; the host also ignores clicks that reach a control by other means.
  const int answer = MessageBoxW(nullptr, prompt.c_str(), title.c_str(),
                                 buttons | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST);
  if (box.quit) {
    return std::nullopt;
  }
  if (answer == 0) {
    throw runtime_errors::OutOfMemory();
  }
  return OnlyShownButtons(answer, buttons);
}

}  // namespace termgate::win32
