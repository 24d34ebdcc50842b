#include "welcome_window.h"

#include <array>

#include "localized_text.h"
#include "module1.h"

namespace termgate {

namespace {

constexpr Control kCommand1{Form::Form2, ControlName::Command1};
constexpr Control kWebBrowser1{Form::Form2, ControlName::WebBrowser1};

// "JP" has no row: its button keeps the design-time "Next".
constexpr auto kNextCaptions = std::to_array<LocalizedText>({
    {u"FR", u"Continuer"},
    {u"BR", u"Continuar"},
    {u"DA", u"Fortsæt"},
    {u"ES", u"Continuar"},
    {u"DE", u"Weiter"},
    {u"IT", u"Continua"},
    {u"SV", u"Fortsätt"},
    {u"NL", u"Doorgaan"},
    {u"NO", u"Fortsett"},
    {u"EN", u"Continue"},
});

}  // namespace

std::span<const LocalizedText> NextCaptionTable() {
  return kNextCaptions;
}

void WelcomeWindow::Raise(Handler handler) {
  switch (handler) {
    case Handler::Form_Load:
      Form_Load();
      break;
    case Handler::Command1_Click:
      Command1_Click();
      break;
    case Handler::Option1_Click:
    case Handler::Option2_Click:
    case Handler::Form_QueryUnload:
      break;
  }
}

void WelcomeWindow::Form_Load() {
  ReadLanguageSetting(host_, language_);

  SetLocalized(host_, kCommand1, language_, kNextCaptions);

  const std::int32_t window = host_.hWnd(Form::Form2);
  SetTopmost(host_, window, kTrue);

  host_.Navigate2(kWebBrowser1, host_.AppPath() + u"\\index.html");
}

void WelcomeWindow::Command1_Click() {
  // Hidden first, so the welcome window is gone before the terms window's Form_Load runs.
  host_.Hide(Form::Form2);
  host_.Show(Form::Form3);
}

}  // namespace termgate
