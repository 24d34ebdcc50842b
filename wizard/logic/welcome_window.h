// Form2, the welcome window: shows the welcome page and leads on to the terms window.
#pragma once

#include <span>

#include "host.h"
#include "language_setting.h"
#include "localized_text.h"

namespace termgate {

class WelcomeWindow {
 public:
  WelcomeWindow(Host& host, LanguageSetting& language) : host_(host), language_(language) {}

  void Raise(Handler handler);

  void Form_Load();
  void Command1_Click();

 private:
  Host& host_;
  LanguageSetting& language_;
};

// The table Form_Load walks for the Next button's caption, for tools that describe the program.
std::span<const LocalizedText> NextCaptionTable();

}  // namespace termgate
