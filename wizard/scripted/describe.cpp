#include "describe.h"

#include <algorithm>
#include <span>
#include <string_view>

#include "language_setting.h"
#include "layouts.h"
#include "terms_window.h"
#include "trace_text.h"
#include "welcome_window.h"

namespace termgate::scripted {

namespace {

std::string Json(TextView text) {
  return JsonQuoted(text);
}
std::string Json(bool value) {
  return value ? "true" : "false";
}
std::string Json(int value) {
  return std::to_string(value);
}

// A JSON object written member by member, in the order given.
class Members {
 public:
  template <class Value>
  Members& Add(std::string_view key, const Value& value) {
    return Raw(key, Json(value));
  }
  Members& Raw(std::string_view key, const std::string& json) {
    text_ += text_.empty() ? "{" : ",";
    text_ += JsonQuoted(std::u16string(key.begin(), key.end())) + ":" + json;
    return *this;
  }
  std::string Done() const { return text_.empty() ? "{}" : text_ + "}"; }

 private:
  std::string text_;
};

template <class Item, class Write>
std::string List(std::span<const Item> items, Write write) {
  std::string out = "[";
  for (const Item& item : items) {
    out += (out.size() > 1 ? "," : "") + write(item);
  }
  return out + "]";
}

template <class Row>
bool Names(std::span<const Row> rows, TextView code) {
  return std::any_of(rows.begin(), rows.end(), [code](const Row& row) { return row.code == code; });
}

std::string Code(const KnownCode& known) {
  const TermsWindowTables terms = TermsWindowTextTables();
  const bool fromFile = known.code == kCaptionsFromFileCode;
  return Members()
      .Add("code", known.code)
      .Add("language", known.language)
      .Add("nextCaption", Names(NextCaptionTable(), known.code))
      .Add("optionCaptions", fromFile || Names(terms.options, known.code))
      .Add("optionCaptionsFromFile", fromFile)
      .Add("finishCaption", Names(terms.finish, known.code))
      .Add("uninstallCaption", Names(terms.uninstall, known.code))
      .Add("declineMessage", Names(terms.declineMessages, known.code))
      .Done();
}

std::string Rgb(const std::optional<termgate::Rgb>& color) {
  if (!color) {
    return "null";
  }
  return "[" + std::to_string(color->red) + "," + std::to_string(color->green) + "," +
         std::to_string(color->blue) + "]";
}

std::string ControlJson(const ControlLayout& control) {
  const std::string font = control.font ? Members()
                                              .Add("face", control.font->face)
                                              .Add("centipoints", control.font->centipoints)
                                              .Add("weight", control.font->weight)
                                              .Done()
                                        : "null";
  return Members()
      .Add("name", NameOf(control.name))
      .Add("kind", NameOf(control.kind))
      .Add("left", control.left)
      .Add("top", control.top)
      .Add("width", control.width)
      .Add("height", control.height)
      .Add("tabIndex", control.tabIndex)
      .Add("caption", control.caption)
      .Raw("font", font)
      .Raw("background", Rgb(control.background))
      .Add("visible", control.visible)
      .Add("enabled", control.enabled)
      .Raw("labelledBy", control.labelledBy ? Json(NameOf(*control.labelledBy)) : "null")
      .Done();
}

std::string BindingJson(const EventBinding& binding) {
  return Members()
      .Raw("source", binding.source ? Json(NameOf(*binding.source)) : "null")
      .Add("event", NameOf(binding.event))
      .Add("handler", NameOf(binding.handler))
      .Done();
}

std::string FormJson(Form form) {
  const WindowLayout& window = LayoutOf(form);
  return Members()
      .Add("name", NameOf(form))
      .Add("startup", form == kStartupForm)
      .Add("title", window.title)
      .Add("titleBar",
           TextView(window.titleBar == TitleBar::None ? u"None" : u"ToolWindowWithCloseBox"))
      .Add("controlBox", window.controlBox)
      .Add("minButton", window.minButton)
      .Add("maxButton", window.maxButton)
      .Add("resizable", window.resizable)
      .Add("showInTaskbar", window.showInTaskbar)
      .Add("centerOnScreen", window.centerOnScreen)
      .Raw("background", Rgb(window.background))
      .Add("clientWidth", window.clientWidth)
      .Add("clientHeight", window.clientHeight)
      .Raw("controls", List(window.controls, ControlJson))
      .Raw("bindings", List(window.bindings, BindingJson))
      .Done();
}

}  // namespace

std::string DescribeProgram() {
  return Members()
             .Add("languageFile", kLanguageFilePath)
             .Add("twipsPerInch", kTwipsPerInch)
             .Raw("codes", List(std::span<const KnownCode>(kKnownCodes), Code))
             .Raw("forms", List(std::span<const Form>(kForms), FormJson))
             .Done() +
         "\n";
}

}  // namespace termgate::scripted
