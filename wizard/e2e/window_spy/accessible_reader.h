// Reads a window's accessible object the way a screen reader does: from another process,
// through AccessibleObjectFromWindow.
#pragma once

#include <windows.h>

#include <string>

namespace termgate::window_spy {

struct AccessibleFacts {
  std::wstring name;
  std::wstring nameByDispatch;  // the name asked for through IDispatch::Invoke
  long role = 0;
  long state = 0;
};

// Throws CommandError when the window has no accessible object or a query fails.
AccessibleFacts ReadAccessible(HWND window);
// accDoDefaultAction's result.
long DoDefaultAction(HWND window);

}  // namespace termgate::window_spy
