#include "keyboard.h"

#include <array>
#include <cstddef>

#include "target_windows.h"

namespace termgate::window_spy {

namespace {

constexpr ULONGLONG kForegroundTimeoutMs = 1000;
constexpr DWORD kPollIntervalMs = 10;

struct NamedChord {
  std::string_view name;
  std::array<WORD, 2> keys;
  std::size_t count;
};

constexpr std::array kNamedChords{
    NamedChord{"TAB", {VK_TAB}, 1},       NamedChord{"SHIFT_TAB", {VK_SHIFT, VK_TAB}, 2},
    NamedChord{"SPACE", {VK_SPACE}, 1},   NamedChord{"ENTER", {VK_RETURN}, 1},
    NamedChord{"ESCAPE", {VK_ESCAPE}, 1}, NamedChord{"UP", {VK_UP}, 1},
    NamedChord{"DOWN", {VK_DOWN}, 1},     NamedChord{"LEFT", {VK_LEFT}, 1},
    NamedChord{"RIGHT", {VK_RIGHT}, 1},
};

bool IsExtendedKey(WORD virtualKey) {
  // The arrows sit on the extended part of the keyboard; without the flag they read as the
  // numeric keypad's arrows, which some controls treat differently.
  return virtualKey == VK_UP || virtualKey == VK_DOWN || virtualKey == VK_LEFT ||
         virtualKey == VK_RIGHT;
}

INPUT KeyEvent(WORD virtualKey, bool release) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = virtualKey;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
  input.ki.dwFlags =
      (release ? KEYEVENTF_KEYUP : 0u) | (IsExtendedKey(virtualKey) ? KEYEVENTF_EXTENDEDKEY : 0u);
  return input;
}

}  // namespace

std::optional<KeyChord> ChordNamed(std::string_view name) {
  for (const NamedChord& chord : kNamedChords) {
    if (chord.name == name) {
      return KeyChord(chord.keys.begin(),
                      chord.keys.begin() + static_cast<std::ptrdiff_t>(chord.count));
    }
  }
  return std::nullopt;
}

void BringToForeground(HWND window) {
  if (!IsWindowVisible(window)) {
    throw CommandError("the window is not visible");
  }
  if (GetForegroundWindow() == window) {
    return;
  }
  SetForegroundWindow(window);
  const ULONGLONG deadline = GetTickCount64() + kForegroundTimeoutMs;
  while (GetForegroundWindow() != window) {
    if (GetTickCount64() >= deadline) {
      throw CommandError("the window did not become the foreground window");
    }
    Sleep(kPollIntervalMs);
  }
}

void Type(const KeyChord& chord) {
  std::vector<INPUT> inputs;
  for (const WORD key : chord) {
    inputs.push_back(KeyEvent(key, false));
  }
  for (auto key = chord.rbegin(); key != chord.rend(); ++key) {
    inputs.push_back(KeyEvent(*key, true));
  }
  const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size()) {
    throw CommandError("SendInput refused the keystroke");
  }
}

}  // namespace termgate::window_spy
