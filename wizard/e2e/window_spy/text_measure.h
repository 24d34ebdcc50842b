// How wide a control's text is in the font Termgate gives that control. A font handle belongs to
// the process that created it, so Termgate's own fonts cannot be selected here: the font is made
// again from the layout by the same rules, and measured on this process's screen DC.
#pragma once

#include <windows.h>

#include <string_view>

#include "layouts.h"

namespace termgate::window_spy {

// The font Termgate uses for `control` in a window of `dpi`.
LOGFONTW FontOfControl(const ControlLayout& control, UINT dpi);

// The extent of `text` on one line (GetTextExtentPoint32W: no line breaks, no prefix handling).
SIZE TextExtent(const LOGFONTW& font, std::wstring_view text);

}  // namespace termgate::window_spy
