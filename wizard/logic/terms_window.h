// Form3, the terms window: accept or decline the toolbar's Terms of Use; a confirmed decline
// starts the two commands that unregister the toolbar's libraries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include <span>

#include "host.h"
#include "language_setting.h"
#include "localized_text.h"

namespace termgate {

class TermsWindow {
 public:
  TermsWindow(Host& host, const LanguageSetting& language) : host_(host), language_(language) {}

  void Raise(Handler handler);

  void Form_Load();
  void Option1_Click();
  void Option2_Click();
  void Command1_Click();
  void Form_QueryUnload();

 private:
  void StartUninstallCommands();

  Host& host_;
  const LanguageSetting& language_;

  Text DeclineMessage;
  // Empty until a confirmation box answers: it then equals neither 1 nor 2.
  std::optional<std::int32_t> DeclineAnswer;
  std::size_t uninstallCommandsStarted_ = 0;
};

struct OptionCaptions {
  TextView code;
  TextView accept;
  TextView decline;
};

// The tables the handlers walk, for tools that describe the program.
struct TermsWindowTables {
  std::span<const OptionCaptions> options;
  std::span<const LocalizedText> finish;
  std::span<const LocalizedText> uninstall;
  std::span<const LocalizedText> declineMessages;
};
TermsWindowTables TermsWindowTextTables();

// The command line that unregisters one of the toolbar's libraries, quoted path and all.
Text UninstallCommand(TextView libraryPath);

}  // namespace termgate
