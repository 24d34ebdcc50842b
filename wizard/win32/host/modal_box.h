// The program's message boxes: modal for the whole program, and answered only by a button.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace termgate::win32 {

// Shows a message box that disables every window of the program's thread while it is open.
// Returns the code of the button that closed it; nullopt when the box ended because the thread
// was told to quit (WM_QUIT), which a message box would otherwise report as its default button.
// Throws RuntimeError when the box cannot be shown.
std::optional<int> AskWithMessageBox(const std::wstring& prompt, const std::wstring& title,
                                     UINT buttons);

}  // namespace termgate::win32
