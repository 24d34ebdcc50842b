// Child-window identifiers of the controls and window class names, shared by the host and the
// test program window_spy so that each finds a window and a control by its layout name. They start
// above IDOK and IDCANCEL, which the dialog manager sends for Enter and Escape.
#pragma once

#include <string>

#include "layouts.h"

namespace termgate::win32 {

inline constexpr int kFirstControlId = 101;

constexpr int ControlId(ControlName name) {
  return kFirstControlId + static_cast<int>(name);
}

// Each window's class is "Termgate." and its name ("Termgate.Form2"), so a new window needs
// nothing here.
inline std::wstring WindowClassOf(Form form) {
  const TextView name = NameOf(form);
  return L"Termgate." + std::wstring(name.begin(), name.end());
}

}  // namespace termgate::win32
