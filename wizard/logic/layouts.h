// The two windows as data: window properties, controls in creation order, and which handler
// serves which event. Hosts build their windows from this table and nothing else.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "host.h"

namespace termgate {

enum class ControlKind : std::uint8_t { CommandButton, OptionButton, Label, WebBrowser };

struct Rgb {
  std::uint8_t red, green, blue;
  friend constexpr bool operator==(Rgb, Rgb) = default;
};
inline constexpr Rgb kWhite{255, 255, 255};

inline constexpr int kFontWeightRegular = 400;
inline constexpr int kFontWeightBold = 700;

// A font by face, size and weight; character set 0 (ANSI), no italic, underline or strikethrough.
struct FontDescription {
  TextView face;
  int centipoints;  // 1425 is 14.25 pt
  int weight;
};

// Positions and sizes in twips (1/1440 inch), relative to the window's client area.
struct ControlLayout {
  ControlName name;
  ControlKind kind;
  int left, top, width, height;
  int tabIndex;
  TextView caption;
  std::optional<FontDescription> font;  // nullopt: the host's default font
  std::optional<Rgb> background;        // nullopt: the host's default for the kind
  bool visible = true;
  bool enabled = true;
  // The label that names this control to a person (and to a screen reader): an option button's
  // own caption is hidden by its width, the label beside it is what is read.
  std::optional<ControlName> labelledBy = std::nullopt;
};

enum class Event : std::uint8_t { Load, Click, QueryUnload };

struct EventBinding {
  std::optional<ControlName> source;  // nullopt: the window itself
  Event event;
  Handler handler;
};

enum class TitleBar : std::uint8_t {
  None,                    // only a thin frame around the client area
  ToolWindowWithCloseBox,  // small title bar without text, holding only the Close box
};

struct WindowLayout {
  Form form;
  TextView title;
  TitleBar titleBar;
  bool controlBox;
  bool minButton, maxButton;
  bool resizable;
  bool showInTaskbar;
  bool centerOnScreen;
  Rgb background;
  int clientWidth, clientHeight;            // twips
  std::span<const ControlLayout> controls;  // in creation order
  std::span<const EventBinding> bindings;
};

// The window the host loads and shows at start; the program has no main procedure of its own.
inline constexpr Form kStartupForm = Form::Form2;

const WindowLayout& LayoutOf(Form form);
// Every control a handler addresses is in its window's layout; asking for another is a bug.
const ControlLayout& LayoutOf(Control control);
// The control that `label` names to a person (an option button beside it), if any.
const ControlLayout* ControlLabelledBy(Form form, ControlName label);
// The handler bound to `event` of `source` (nullopt: the window), if any.
std::optional<Handler> BoundHandler(Form form, std::optional<ControlName> source, Event event);

TextView NameOf(Form form);
TextView NameOf(ControlName control);
TextView NameOf(Handler handler);
TextView NameOf(ControlKind kind);
TextView NameOf(Event event);

inline constexpr int kTwipsPerInch = 1440;

}  // namespace termgate
