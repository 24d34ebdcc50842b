// What a screen reader learns about an option button: the text of the label beside it, the
// radio-button role and whether it is selected.
//
// The option buttons' own captions are hidden by their width; the choice a person reads is the
// label to their right. The system's standard object for a button would announce the hidden
// caption (and under Wine not even the role), so each option answers WM_GETOBJECT with an object
// of its own that serves name, role and state and leaves everything else to the standard one.
#pragma once

#include <windows.h>

namespace termgate::win32 {

// The reply to WM_GETOBJECT for `option`, named by the current text of `label`; 0 when the
// system's accessibility library is not available or the object cannot be made, so the standard
// handling answers instead. Never throws: a window procedure calls it.
LRESULT AnswerAccessibleObject(HWND option, HWND label, WPARAM flags) noexcept;

// Tells listening screen readers that the option's name changed with its label's text.
void AnnounceNameChange(HWND option);

}  // namespace termgate::win32
