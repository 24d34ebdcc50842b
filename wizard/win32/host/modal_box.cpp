#include "modal_box.h"

#include <optional>
#include <string_view>
#include <utility>

#include "runtime_error.h"
#include "windows_owners.h"

namespace termgate::win32 {

namespace {

// What the hooks learn about the box open on this thread.
struct OpenBox {
  bool quit = false;
  // When the box first became active, in GetTickCount's milliseconds, which MSG::time uses too.
  // Activated again later (after another window was active), it was on screen all the while: a
  // press made in between is no key typed ahead.
  DWORD shownAt = 0;
  bool activated = false;
  // The keyboard or mouse message that the thread's input hooks have just announced. Windows
  // calls those hooks for real input only, never for a message another program posted, and the
  // message itself follows at once through the message hook, which must find it announced.
  std::optional<MSG> announced;
  // The last key-down taken was a fresh press: the characters it makes may follow.
  bool charactersFollow = false;
};

thread_local OpenBox* openBox = nullptr;

bool IsKeyMessage(UINT message) {
  return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN ||
         message == WM_SYSKEYUP;
}

bool IsCharacterMessage(UINT message) {
  return message == WM_CHAR || message == WM_DEADCHAR || message == WM_SYSCHAR ||
         message == WM_SYSDEADCHAR || message == WM_UNICHAR;
}

bool IsMouseButtonMessage(UINT message) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
    case WM_XBUTTONDOWN:
    case WM_XBUTTONUP:
    case WM_XBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONUP:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDOWN:
    case WM_NCMBUTTONUP:
    case WM_NCMBUTTONDBLCLK:
    case WM_NCXBUTTONDOWN:
    case WM_NCXBUTTONUP:
    case WM_NCXBUTTONDBLCLK:
      return true;
    default:
      return false;
  }
}

bool IsMessageBox(HWND window) {
  wchar_t className[8]{};
  return GetClassNameW(window, className, 8) > 0 && std::wstring_view(className) == L"#32770";
}

bool InBox(HWND window) {
  const HWND root = GetAncestor(window, GA_ROOT);
  return root != nullptr && IsMessageBox(root);
}

// Whether the message in hand is the input the thread's hooks announced for it.
bool WasAnnounced(OpenBox& box, const MSG& message) {
  const std::optional<MSG> announced = std::exchange(box.announced, std::nullopt);
  if (!announced) {
    return false;
  }
  if (IsKeyMessage(message.message)) {
    return announced->message == WM_KEYFIRST &&
           (announced->wParam & 0xFF) == (message.wParam & 0xFF) &&
           announced->lParam == message.lParam;
  }
  return announced->message == message.message;
}

// A key-down that is no fresh press made while the box was on screen: the keyboard's auto-repeat
// (lParam bit 30: the system saw the key down already), or a key pressed before the box became
// active, typed ahead or held since then. What the system says about the key decides, not key-ups
// this thread may never see: the key-up of the press that opened the box goes to whichever window
// is active while the program's own are hidden.
bool IsFreshPress(const OpenBox& box, const MSG& message) {
  const bool repeated = (message.lParam & (1 << 30)) != 0;
  const bool typedBefore = static_cast<LONG>(message.time - box.shownAt) <= 0;
  return !repeated && !typedBefore;
}

// Whether the box takes the message it is about to get from its queue. Only a person's own input
// answers it: key and mouse button messages must be real input, a key-down a fresh press, a
// character the product of one; a click, or a command other than Cancel, posted to the box or its
// buttons never comes from a person (a real click reaches the box as its button's notification,
// sent, not queued).
bool TakesFromQueue(OpenBox& box, const MSG& message) {
  if (IsKeyMessage(message.message)) {
    const bool real = WasAnnounced(box, message);
    const bool down = message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN;
    box.charactersFollow = real && down && IsFreshPress(box, message);
    return real && (!down || box.charactersFollow);
  }
  if (IsCharacterMessage(message.message)) {
    return box.charactersFollow;
  }
  if (IsMouseButtonMessage(message.message)) {
    return WasAnnounced(box, message);
  }
  if (message.message == BM_CLICK) {
    return !InBox(message.hwnd);
  }
  if (message.message == WM_COMMAND) {
    // The box closes with Cancel, whoever asked it to close (the close box, Alt+F4, a close
    // request), through a command it posts itself; Cancel decides nothing.
    return !InBox(message.hwnd) || LOWORD(message.wParam) == IDCANCEL;
  }
  return true;
}

LRESULT CALLBACK WatchMessages(int code, WPARAM removed, LPARAM lParam) {
  auto* message = reinterpret_cast<MSG*>(lParam);
  if (code == HC_ACTION && removed == PM_REMOVE && openBox != nullptr) {
    if (message->message == WM_QUIT) {
      openBox->quit = true;
    } else if (!TakesFromQueue(*openBox, *message)) {
      message->message = WM_NULL;  // the box's own loop then sees nothing
    }
  }
  return CallNextHookEx(nullptr, code, removed, lParam);
}

LRESULT CALLBACK AnnounceKey(int code, WPARAM key, LPARAM flags) {
  if (code == HC_ACTION && openBox != nullptr) {
    // WM_KEYFIRST stands for any key message: the hook does not say which of them it will be.
    openBox->announced = MSG{nullptr, WM_KEYFIRST, key, flags, 0, {}};
  }
  return CallNextHookEx(nullptr, code, key, flags);
}

LRESULT CALLBACK AnnounceMouse(int code, WPARAM message, LPARAM details) {
  if (code == HC_ACTION && openBox != nullptr) {
    openBox->announced = MSG{nullptr, static_cast<UINT>(message), 0, 0, 0, {}};
  }
  return CallNextHookEx(nullptr, code, message, details);
}

// Sent by another thread: a program that is not this one asking the box to act.
bool SentByAnotherThread() {
  return (InSendMessageEx(nullptr) & ISMEX_SEND) != 0;
}

constexpr wchar_t kOwnProcedure[] = L"Termgate.BoxProcedure";

// Wraps the box and its buttons: what another thread sends them that would press a button or
// give the box a command is refused. The host never opens a box inside another thread's call
// (FormWindow defers clicks sent from outside), so the box's own work never looks sent.
LRESULT CALLBACK RefuseForeignInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto own = reinterpret_cast<WNDPROC>(GetPropW(window, kOwnProcedure));
  if (message == WM_NCDESTROY) {
    RemovePropW(window, kOwnProcedure);
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(own));
  } else if ((message == WM_COMMAND || message == BM_CLICK || message == BM_SETSTATE ||
              IsKeyMessage(message) || IsCharacterMessage(message) ||
              IsMouseButtonMessage(message)) &&
             SentByAnotherThread()) {
    return 0;
  }
  return CallWindowProcW(own, window, message, wParam, lParam);
}

void Wrap(HWND window) {
  const auto own = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
  if (own != nullptr && own != &RefuseForeignInput &&
      SetPropW(window, kOwnProcedure, reinterpret_cast<HANDLE>(own))) {
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RefuseForeignInput));
  }
}

LRESULT CALLBACK WatchActivation(int code, WPARAM window, LPARAM lParam) {
  // The box is on screen once it is activated: from then on a key press can be a reply to it.
  if (code == HCBT_ACTIVATE && openBox != nullptr) {
    const auto box = reinterpret_cast<HWND>(window);
    if (IsMessageBox(box)) {
      if (!std::exchange(openBox->activated, true)) {
        openBox->shownAt = GetTickCount();
      }
      Wrap(box);
      for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
           child = GetWindow(child, GW_HWNDNEXT)) {
        Wrap(child);
      }
    }
  }
  return CallNextHookEx(nullptr, code, window, lParam);
}

int OnlyShownButtons(int answer, UINT buttons) {
  // Where Cancel is offered, anything but OK is Cancel; with OK alone, whatever ends the box is
  // that OK.
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
  // would pass off a request to quit as a person's consent; it acts on a key that was held down
  // (or typed ahead) before anyone could read the box, and on input that another program forged.
  // The hooks see every message the loop takes, which of them are real input, and the moment the
  // box comes up.
  OpenBox box;
  box.shownAt = GetTickCount();
  openBox = &box;
  struct Forget {
    ~Forget() { openBox = nullptr; }
  } forget;
  const DWORD thread = GetCurrentThreadId();
  const unique_hhook messages(SetWindowsHookExW(WH_GETMESSAGE, &WatchMessages, nullptr, thread));
  const unique_hhook keys(SetWindowsHookExW(WH_KEYBOARD, &AnnounceKey, nullptr, thread));
  const unique_hhook mouse(SetWindowsHookExW(WH_MOUSE, &AnnounceMouse, nullptr, thread));
  const unique_hhook activation(SetWindowsHookExW(WH_CBT, &WatchActivation, nullptr, thread));
  if (!messages || !keys || !mouse || !activation) {
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
