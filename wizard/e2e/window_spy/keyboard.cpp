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

void AddStrokes(std::vector<INPUT>& inputs, const KeyChord& chord, bool press, bool release) {
  if (press) {
    for (const WORD key : chord) {
      inputs.push_back(KeyEvent(key, false));
    }
  }
  if (release) {
    for (auto key = chord.rbegin(); key != chord.rend(); ++key) {
      inputs.push_back(KeyEvent(*key, true));
    }
  }
}

void Type(const KeyChord& chord) {
  std::vector<INPUT> inputs;
  AddStrokes(inputs, chord, true, true);
  Send(inputs);
}

std::optional<std::vector<INPUT>> KeyStrokes(std::string_view list) {
  std::vector<INPUT> inputs;
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    bool press = true;
    bool release = true;
    if (const std::size_t colon = item.find(':'); colon != std::string_view::npos) {
      const std::string_view how = item.substr(colon + 1);
      press = how == "down";
      release = how == "up";
      if (!press && !release) {
        return std::nullopt;
      }
      item = item.substr(0, colon);
    }
    const auto chord = ChordNamed(item);
    if (!chord) {
      return std::nullopt;
    }
    AddStrokes(inputs, *chord, press, release);
  }
  return inputs;
}

void Send(const std::vector<INPUT>& strokes) {
  const UINT sent = SendInput(static_cast<UINT>(strokes.size()), const_cast<INPUT*>(strokes.data()),
                              sizeof(INPUT));
  if (sent != strokes.size()) {
    throw CommandError("SendInput refused the keystrokes");
  }
}

}  // namespace termgate::window_spy
