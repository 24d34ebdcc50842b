// Reading Termgate's windows from another process: finding them, their texts and the process
// behind them.
#pragma once

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "layouts.h"

namespace termgate::window_spy {

// A command that cannot be carried out; its message is the answer's "error".
class CommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// window_spy must see physical pixels, as the per-monitor aware Termgate does, or Windows would
// scale every rectangle it reads.
void BecomePerMonitorDpiAware();

// Top-level windows in z-order, front first.
std::vector<HWND> TopLevelWindows();
std::wstring ClassNameOf(HWND window);
bool HasClass(HWND window, std::wstring_view className);
// The title as the window manager keeps it: reading it sends the window nothing.
std::wstring TitleOf(HWND window);
// The text a control reports for WM_GETTEXT; the message crosses processes, so it is sent with
// a timeout and a hung target is an error rather than a hung window_spy.
std::wstring TextOf(HWND window);
// A message without parameters whose answer is a value, sent with the same timeout.
DWORD_PTR SendQuery(HWND window, UINT message);
// Returns once the thread of `target` has taken every message posted to it so far, or once that
// thread's windows are gone. Throws CommandError when the thread takes none for 15 s.
void AwaitPostedMessagesTaken(HWND target);
// Returns at the next tick of GetTickCount, the clock of a message's time: input sent from then
// on is stamped later than anything that happened before this call.
void AwaitNextTick();

// The window of this class, front-most when several exist; nullptr when none does.
HWND FindFormWindow(Form form);
int CountFormWindows(Form form);
// A standard message box of a process whose image is Termgate.exe, front-most first; nullptr
// when none. Hidden boxes count only when asked for.
HWND FindTermgateMessageBox(bool includeHidden = false);
// How many visible such boxes there are.
int CountTermgateMessageBoxes();
bool IsTermgateProcess(DWORD processId);
// The full path of a process's image; "" when it cannot be read.
std::wstring ProcessImagePath(DWORD processId);
// Its file name alone ("Termgate.exe").
std::wstring ProcessImageBaseName(DWORD processId);

std::optional<Form> ParseForm(std::string_view name);
std::optional<ControlName> ParseControlName(std::string_view name);
// The control's layout when `form` has such a control.
const ControlLayout* FindControlLayout(Form form, ControlName name);
// The layout name for a control ID, or "" for an ID the layouts do not use.
std::wstring ControlNameOfId(int id);
HWND ControlWindow(HWND formWindow, ControlName name);

std::int64_t HandleNumber(const void* handle);

}  // namespace termgate::window_spy
