// The whole program: its process-wide texts and its two windows, raised by the host.
#pragma once

#include "host.h"
#include "language_setting.h"
#include "terms_window.h"
#include "welcome_window.h"

namespace termgate {

class Wizard final : public EventSink {
 public:
  explicit Wizard(Host& host) : form2_(host, language_), form3_(host, language_) {}
  Wizard(const Wizard&) = delete;
  Wizard& operator=(const Wizard&) = delete;

  void Raise(Form form, Handler handler) override;

  const LanguageSetting& language() const { return language_; }

 private:
  LanguageSetting language_;
  WelcomeWindow form2_;
  TermsWindow form3_;
};

}  // namespace termgate
