// The logic's UTF-16 texts and Windows' wide strings are the same code units.
#pragma once

#include <string>
#include <string_view>

#include "host.h"

namespace termgate::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline std::wstring Wide(TextView text) {
  return std::wstring(text.begin(), text.end());
}
inline Text FromWide(std::wstring_view text) {
  return Text(text.begin(), text.end());
}

}  // namespace termgate::win32
