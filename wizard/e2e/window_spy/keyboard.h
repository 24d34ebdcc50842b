// Keystrokes as a user types them: through the system's input queue to the foreground window,
// so that the target's own message loop, dialog navigation and default handling all take part.
#pragma once

#include <windows.h>

#include <optional>
#include <string_view>
#include <vector>

namespace termgate::window_spy {

// Virtual keys held down in order and released in reverse: a modifier comes first.
using KeyChord = std::vector<WORD>;

// TAB, SHIFT_TAB, SPACE, ENTER, ESCAPE, UP, DOWN, LEFT, RIGHT.
std::optional<KeyChord> ChordNamed(std::string_view name);
inline const KeyChord kAltF4{VK_MENU, VK_F4};

// Makes `window` the foreground window; throws CommandError when it is hidden or Windows refuses.
void BringToForeground(HWND window);
void Type(const KeyChord& chord);

// Keystrokes from a comma-separated list of key names, each typed (pressed and released), or only
// pressed with ":down" or only released with ":up"; a key pressed again while down auto-repeats
// as a held key does. nullopt for a name or suffix it does not know.
std::optional<std::vector<INPUT>> KeyStrokes(std::string_view list);
void Send(const std::vector<INPUT>& strokes);

}  // namespace termgate::window_spy
