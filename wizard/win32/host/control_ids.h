// Child-window identifiers of the controls, shared by the host and the test inspector so that
// each finds a control by its layout name. They start above IDOK and IDCANCEL, which the dialog
// manager sends for Enter and Escape.
#pragma once

#include "host.h"

namespace termgate::win32 {

inline constexpr int kFirstControlId = 101;

constexpr int ControlId(ControlName name) {
  return kFirstControlId + static_cast<int>(name);
}

inline constexpr wchar_t kWelcomeWindowClass[] = L"Termgate.Form2";
inline constexpr wchar_t kTermsWindowClass[] = L"Termgate.Form3";

constexpr const wchar_t* WindowClassOf(Form form) {
  switch (form) {
    case Form::Form2:
      return kWelcomeWindowClass;
    case Form::Form3:
      return kTermsWindowClass;
  }
  return nullptr;
}

}  // namespace termgate::win32
