#include "layouts.h"

#include <array>
#include <cstdlib>

namespace termgate {

namespace {

constexpr FontDescription kButtonFont{u"Times New Roman", 1425, kFontWeightRegular};
constexpr FontDescription kBoldButtonFont{u"Times New Roman", 1425, kFontWeightBold};
constexpr FontDescription kLabelFont{u"Times New Roman", 1200, kFontWeightBold};

using enum ControlName;
using enum ControlKind;

constexpr std::array kWelcomeControls{
    ControlLayout{.name = WebBrowser1,
                  .kind = WebBrowser,
                  .left = 0,
                  .top = 240,
                  .width = 15375,
                  .height = 10095,
                  .tabIndex = 1,
                  .caption = {},
                  .font = std::nullopt,
                  .background = std::nullopt},
    ControlLayout{.name = Command1,
                  .kind = CommandButton,
                  .left = 6240,
                  .top = 10440,
                  .width = 1455,
                  .height = 375,
                  .tabIndex = 0,
                  .caption = u"Next",
                  .font = kButtonFont,
                  .background = std::nullopt},
};

constexpr std::array kTermsControls{
    ControlLayout{.name = Command1,
                  .kind = CommandButton,
                  .left = 12240,
                  .top = 10440,
                  .width = 2535,
                  .height = 375,
                  .tabIndex = 6,
                  .caption = {},
                  .font = kBoldButtonFont,
                  .background = std::nullopt,
                  .visible = false,
                  .enabled = false},
    ControlLayout{.name = Option2,
                  .kind = OptionButton,
                  .left = 8280,
                  .top = 10440,
                  .width = 255,
                  .height = 255,
                  .tabIndex = 3,
                  .caption = u"Option2",
                  .font = std::nullopt,
                  .background = kWhite,
                  .labelledBy = Label3},
    ControlLayout{.name = Option1,
                  .kind = OptionButton,
                  .left = 5400,
                  .top = 10440,
                  .width = 255,
                  .height = 255,
                  .tabIndex = 2,
                  .caption = u"Option1",
                  .font = std::nullopt,
                  .background = kWhite,
                  .labelledBy = Label2},
    ControlLayout{.name = WebBrowser2,
                  .kind = WebBrowser,
                  .left = 120,
                  .top = 240,
                  .width = 15135,
                  .height = 10095,
                  .tabIndex = 1,
                  .caption = {},
                  .font = std::nullopt,
                  .background = std::nullopt},
    ControlLayout{.name = WebBrowser1,
                  .kind = WebBrowser,
                  .left = 3000,
                  .top = 3600,
                  .width = 135,
                  .height = 30,
                  .tabIndex = 0,
                  .caption = {},
                  .font = std::nullopt,
                  .background = std::nullopt},
    ControlLayout{.name = Label3,
                  .kind = Label,
                  .left = 8640,
                  .top = 10440,
                  .width = 2175,
                  .height = 375,
                  .tabIndex = 5,
                  .caption = u"I Decline",
                  .font = kLabelFont,
                  .background = kWhite},
    ControlLayout{.name = Label2,
                  .kind = Label,
                  .left = 5760,
                  .top = 10440,
                  .width = 2175,
                  .height = 375,
                  .tabIndex = 4,
                  .caption = u"I Accept",
                  .font = kLabelFont,
                  .background = kWhite},
};

constexpr std::array kWelcomeBindings{
    EventBinding{std::nullopt, Event::Load, Handler::Form_Load},
    EventBinding{Command1, Event::Click, Handler::Command1_Click},
};

constexpr std::array kTermsBindings{
    EventBinding{std::nullopt, Event::Load, Handler::Form_Load},
    EventBinding{Command1, Event::Click, Handler::Command1_Click},
    EventBinding{Option1, Event::Click, Handler::Option1_Click},
    EventBinding{Option2, Event::Click, Handler::Option2_Click},
    EventBinding{std::nullopt, Event::QueryUnload, Handler::Form_QueryUnload},
};

constexpr WindowLayout kWelcomeWindow{
    .form = Form::Form2,
    .title = {},
    .titleBar = TitleBar::None,
    .controlBox = false,
    .minButton = false,
    .maxButton = false,
    .resizable = false,
    .showInTaskbar = false,
    .centerOnScreen = true,
    .background = kWhite,
    .clientWidth = 15630,
    .clientHeight = 10965,
    .controls = kWelcomeControls,
    .bindings = kWelcomeBindings,
};

constexpr WindowLayout kTermsWindow{
    .form = Form::Form3,
    .title = {},
    .titleBar = TitleBar::ToolWindowWithCloseBox,
    .controlBox = true,
    .minButton = false,
    .maxButton = false,
    .resizable = false,
    .showInTaskbar = false,
    .centerOnScreen = true,
    .background = kWhite,
    .clientWidth = 15570,
    .clientHeight = 11115,
    .controls = kTermsControls,
    .bindings = kTermsBindings,
};

}  // namespace

const WindowLayout& LayoutOf(Form form) {
  switch (form) {
    case Form::Form2:
      return kWelcomeWindow;
    case Form::Form3:
      return kTermsWindow;
  }
  std::abort();
}

const ControlLayout& LayoutOf(Control control) {
  for (const ControlLayout& layout : LayoutOf(control.form).controls) {
    if (layout.name == control.name) {
      return layout;
    }
  }
  std::abort();
}

const ControlLayout* ControlLabelledBy(Form form, ControlName label) {
  for (const ControlLayout& layout : LayoutOf(form).controls) {
    if (layout.labelledBy == label) {
      return &layout;
    }
  }
  return nullptr;
}

std::optional<Handler> BoundHandler(Form form, std::optional<ControlName> source, Event event) {
  for (const EventBinding& binding : LayoutOf(form).bindings) {
    if (binding.source == source && binding.event == event) {
      return binding.handler;
    }
  }
  return std::nullopt;
}

TextView NameOf(Form form) {
  switch (form) {
    case Form::Form2:
      return u"Form2";
    case Form::Form3:
      return u"Form3";
  }
  std::abort();
}

TextView NameOf(ControlName control) {
  switch (control) {
    case Command1:
      return u"Command1";
    case Option1:
      return u"Option1";
    case Option2:
      return u"Option2";
    case Label2:
      return u"Label2";
    case Label3:
      return u"Label3";
    case WebBrowser1:
      return u"WebBrowser1";
    case WebBrowser2:
      return u"WebBrowser2";
  }
  std::abort();
}

TextView NameOf(Handler handler) {
  switch (handler) {
    case Handler::Form_Load:
      return u"Form_Load";
    case Handler::Command1_Click:
      return u"Command1_Click";
    case Handler::Option1_Click:
      return u"Option1_Click";
    case Handler::Option2_Click:
      return u"Option2_Click";
    case Handler::Form_QueryUnload:
      return u"Form_QueryUnload";
  }
  std::abort();
}

TextView NameOf(ControlKind kind) {
  switch (kind) {
    case CommandButton:
      return u"CommandButton";
    case OptionButton:
      return u"OptionButton";
    case Label:
      return u"Label";
    case WebBrowser:
      return u"WebBrowser";
  }
  std::abort();
}

TextView NameOf(Event event) {
  switch (event) {
    case Event::Load:
      return u"Load";
    case Event::Click:
      return u"Click";
    case Event::QueryUnload:
      return u"QueryUnload";
  }
  std::abort();
}

}  // namespace termgate
