// The program's message boxes: modal for the whole program, and answered only by a button.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace termgate::win32 {

// Shows a message box that disables every window of the program's thread while it is open.
// Returns the code of a button the box shows: IDOK or IDCANCEL for MB_OKCANCEL (anything else
// that ends it is Cancel), IDOK for MB_OK. nullopt when the box ended because the thread was told
// to quit (WM_QUIT), which a message box would otherwise report as its default button. Only a
// fresh key press answers: a key-down that auto-repeats, or of a key that was down or typed ahead
// when the box came up, is dropped until that key is released. Throws RuntimeError when the box
// cannot be shown.
std::optional<int> AskWithMessageBox(const std::wstring& prompt, const std::wstring& title,
                                     UINT buttons);

}  // namespace termgate::win32
