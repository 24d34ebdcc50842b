// Feeds arbitrary bytes to Termgate as its language file, in one of the ANSI code pages it meets,
// through the real reading and decoding code and every localizing handler, on the scripted host.
//
// The first input byte picks the code page; the rest is the file. Besides the sanitizers' own
// findings, a run aborts when the program breaks one of its promises about the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "scripted_host.h"
#include "wizard.h"

namespace {

using namespace termgate;

void Require(bool promise) {
  if (!promise) {
    std::abort();
  }
}

bool HasLineBreak(const Text& text) {
  return text.find_first_of(u"\r\n") != Text::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  constexpr unsigned kCodePages[] = {1252, 932, 65001};
  scripted::Setup setup;
  setup.codePage = kCodePages[data[0] % 3];
  setup.languageFile =
      scripted::LanguageFile{std::string(reinterpret_cast<const char*>(data) + 1, size - 1), true};
  const bool empty = size == 1;

  scripted::ScriptedHost host(setup);
  Wizard wizard(host);
  host.QueueAnswer(kVbCancel);
  host.Start(wizard);
  host.ClickButton(Form::Form2);
  host.SelectOption(ControlName::Option2);
  host.ClickButton(Form::Form3);

  // Only an empty file is an error; any other bytes reach the terms window, whose Cancel path
  // leaves the program running with accept selected.
  Require(empty == (host.state() == scripted::RunState::EndedByError));
  if (empty) {
    return 0;
  }
  Require(host.state() == scripted::RunState::Running);
  Require(host.IsVisible(Form::Form3));
  const LanguageSetting& language = wizard.language();
  Require(!HasLineBreak(language.LangCode));
  Require(!HasLineBreak(language.JpAcceptCaption) && !HasLineBreak(language.JpDeclineCaption));
  Require(language.LangCode == u"JP" ||
          (language.JpAcceptCaption.empty() && language.JpDeclineCaption.empty()));
  return 0;
}
