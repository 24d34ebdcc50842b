// Module1: the user32 declarations' one helper.
#pragma once

#include <cstdint>

#include "host.h"

namespace termgate {

inline constexpr std::int32_t kHwndTopmost = -1;
inline constexpr std::int32_t kHwndNoTopmost = -2;
inline constexpr std::int32_t kSwpNoSize = 0x1;
inline constexpr std::int32_t kSwpNoMove = 0x2;
inline constexpr std::int32_t kScClose = 0xF060;
inline constexpr std::int32_t kMfByCommand = 0;

// Puts the window above all non-topmost windows (`topmost` true, -1) or back among them,
// without moving or resizing it. Only the topmost call passes SetWindowPos's result on.
std::int32_t SetTopmost(Host& host, std::int32_t hWnd, VbBool topmost);

}  // namespace termgate
