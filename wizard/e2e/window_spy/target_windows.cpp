#include "target_windows.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "control_ids.h"
#include "system_dpi.h"
#include "windows_helpers.h"
#include "windows_owners.h"

namespace termgate::window_spy {

namespace {

constexpr UINT kAnswerTimeoutMs = 2000;
constexpr ULONGLONG kPostedMessagesTimeoutMs = 15000;
// WM_ISACTIVEICON, which DefWindowProc answers on Windows and Wine alike; mingw-w64's headers
// leave it out.
constexpr UINT kIsActiveIconMessage = 0x0035;
constexpr wchar_t kMessageBoxClass[] = L"#32770";
constexpr wchar_t kTermgateImage[] = L"Termgate.exe";

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM windows) {
  reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
  return TRUE;
}

}  // namespace

std::wstring ProcessImagePath(DWORD processId) {
  const win32::unique_handle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) {
    return {};
  }
  const std::optional<std::wstring> path =
      win32::ReadIntoGrowingBuffer([&process](wchar_t* buffer, DWORD capacity) -> DWORD {
        DWORD length = capacity;
        if (QueryFullProcessImageNameW(process.get(), 0, buffer, &length)) {
          return length;
        }
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? capacity : 0;
      });
  return path ? *path : std::wstring();
}

std::wstring ProcessImageBaseName(DWORD processId) {
  const std::wstring path = ProcessImagePath(processId);
  return path.substr(path.find_last_of(L"\\/") + 1);
}

void BecomePerMonitorDpiAware() {
  if (!win32::SetDpiAwareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) &&
      !win32::SetDpiAwareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE)) {
    SetProcessDPIAware();
  }
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::wstring ClassNameOf(HWND window) {
  std::array<wchar_t, 256> name{};
  const int length = GetClassNameW(window, name.data(), static_cast<int>(name.size()));
  return std::wstring(name.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
}

bool HasClass(HWND window, std::wstring_view className) {
  return EqualIgnoringCase(ClassNameOf(window), className);
}

std::wstring TitleOf(HWND window) {
  std::wstring title(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  const int length = GetWindowTextW(window, title.data(), static_cast<int>(title.size()));
  title.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return title;
}

std::wstring TextOf(HWND window) {
  const DWORD_PTR length = SendQuery(window, WM_GETTEXTLENGTH);
  // WM_GETTEXTLENGTH may overestimate; the copy's own count is the length.
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &copied)) {
    throw CommandError("the window did not answer WM_GETTEXT");
  }
  text.resize(std::min<std::size_t>(static_cast<std::size_t>(copied), text.size() - 1));
  return text;
}

DWORD_PTR SendQuery(HWND window, UINT message) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &answer)) {
    throw CommandError("the window did not answer message " + std::to_string(message));
  }
  return answer;
}

namespace {

// Termgate's welcome window when it belongs to the thread of `target`: it is made at the start,
// never destroyed, has no title bar, and is hidden for most of a run. `target`'s top-level window
// when there is none.
HWND MarkerWindow(HWND target) {
  const HWND welcome = FindFormWindow(Form::Form2);
  if (welcome != nullptr &&
      GetWindowThreadProcessId(welcome, nullptr) == GetWindowThreadProcessId(target, nullptr)) {
    return welcome;
  }
  return GetAncestor(target, GA_ROOT);
}

// The window's "drawn as active" flag, which DefWindowProc sets on WM_NCACTIVATE and reports for
// WM_ISACTIVEICON; nullopt once the window is gone.
std::optional<bool> DrawnActive(HWND window) {
  DWORD_PTR active = 0;
  if (!SendMessageTimeoutW(window, kIsActiveIconMessage, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                           &active)) {
    if (!IsWindow(window)) {
      return std::nullopt;
    }
    throw CommandError("Termgate's window did not answer WM_ISACTIVEICON");
  }
  return active != 0;
}

void PostDrawnActiveAndAwait(HWND window, bool active) {
  // lParam -1: the flag changes and nothing is drawn.
  if (!PostMessageW(window, WM_NCACTIVATE, active, -1)) {
    if (!IsWindow(window)) {
      return;
    }
    throw CommandError("PostMessage(WM_NCACTIVATE) failed");
  }
  const ULONGLONG deadline = GetTickCount64() + kPostedMessagesTimeoutMs;
  for (std::optional<bool> now = DrawnActive(window); now && *now != active;
       now = DrawnActive(window)) {
    if (GetTickCount64() >= deadline) {
      throw CommandError("Termgate's thread took no posted message for 15 s");
    }
    Sleep(5);
  }
}

}  // namespace

void AwaitPostedMessagesTaken(HWND target) {
  // A thread takes the messages posted to it in order, and sent ones before any of them, so no
  // round trip of a sent message can tell whether what was posted has been handled. A marker
  // posted after them can: the flag that tells a window to draw its frame as active, flipped
  // without drawing anything on a window without a title bar, read back until it has changed,
  // then put back as it was.
  const HWND window = MarkerWindow(target);
  if (window == nullptr) {
    return;
  }
  const std::optional<bool> before = DrawnActive(window);
  if (!before) {
    return;
  }
  PostDrawnActiveAndAwait(window, !*before);
  PostDrawnActiveAndAwait(window, *before);
}

void AwaitNextTick() {
  const DWORD now = GetTickCount();
  while (GetTickCount() == now) {
    Sleep(1);
  }
}

HWND FindFormWindow(Form form) {
  for (const HWND window : TopLevelWindows()) {
    if (HasClass(window, win32::WindowClassOf(form))) {
      return window;
    }
  }
  return nullptr;
}

int CountFormWindows(Form form) {
  int count = 0;
  for (const HWND window : TopLevelWindows()) {
    if (HasClass(window, win32::WindowClassOf(form))) {
      ++count;
    }
  }
  return count;
}

bool IsTermgateProcess(DWORD processId) {
  return EqualIgnoringCase(ProcessImageBaseName(processId), kTermgateImage);
}

HWND FindTermgateMessageBox(bool includeHidden) {
  for (const HWND window : TopLevelWindows()) {
    if ((!includeHidden && !IsWindowVisible(window)) || !HasClass(window, kMessageBoxClass)) {
      continue;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (IsTermgateProcess(processId)) {
      return window;
    }
  }
  return nullptr;
}

int CountTermgateMessageBoxes() {
  int count = 0;
  for (const HWND window : TopLevelWindows()) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (IsWindowVisible(window) && HasClass(window, kMessageBoxClass) &&
        IsTermgateProcess(processId)) {
      ++count;
    }
  }
  return count;
}

std::optional<Form> ParseForm(std::string_view name) {
  for (const Form form : kForms) {
    const TextView formName = NameOf(form);
    if (std::equal(name.begin(), name.end(), formName.begin(), formName.end())) {
      return form;
    }
  }
  return std::nullopt;
}

std::optional<ControlName> ParseControlName(std::string_view name) {
  for (const ControlName control : kControlNames) {
    const TextView controlName = NameOf(control);
    if (std::equal(name.begin(), name.end(), controlName.begin(), controlName.end())) {
      return control;
    }
  }
  return std::nullopt;
}

const ControlLayout* FindControlLayout(Form form, ControlName name) {
  for (const ControlLayout& control : LayoutOf(form).controls) {
    if (control.name == name) {
      return &control;
    }
  }
  return nullptr;
}

std::wstring ControlNameOfId(int id) {
  for (const ControlName control : kControlNames) {
    if (win32::ControlId(control) == id) {
      const TextView name = NameOf(control);
      return std::wstring(name.begin(), name.end());
    }
  }
  return {};
}

HWND ControlWindow(HWND formWindow, ControlName name) {
  // Only direct children: a page inside a browser control could reuse the same IDs.
  for (HWND child = GetWindow(formWindow, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetDlgCtrlID(child) == win32::ControlId(name)) {
      return child;
    }
  }
  return nullptr;
}

std::int64_t HandleNumber(const void* handle) {
  return static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(handle));
}

}  // namespace termgate::window_spy
