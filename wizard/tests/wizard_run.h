// A whole Termgate run on the scripted host, and the call blocks that every run shares, as the
// trace writes them.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "scripted_host.h"
#include "sequence_match.h"
#include "wizard.h"

namespace termgate::testing {

struct WizardRun {
  explicit WizardRun(scripted::Setup setup) : host(std::move(setup)) {}
  scripted::ScriptedHost host;
  Wizard wizard{host};
};

scripted::Setup NoLanguageFile();
scripted::Setup LanguageFileOf(std::string bytes, unsigned codePage = 1252);

// The language file calls of a file whose lines are read as `lines` (nullopt: no file).
Sequence FileCalls(const std::optional<Sequence>& lines);

// From the start to the welcome window on screen. `nextCaption`: the caption Form_Load sets,
// if any.
Sequence StartCalls(const Sequence& fileCalls, const std::optional<std::string>& nextCaption);

// The Next click, with the terms window's load. `labels`: the two captions set, if any.
Sequence NextCalls(const std::optional<std::pair<std::string, std::string>>& labels);

// The four calls of an option's click handler after its first, English caption.
Sequence OptionClickCalls(int option, const std::optional<std::string>& localized, int depth);

// A test-name-safe form of a case's description, for INSTANTIATE_TEST_SUITE_P.
std::string CaseName(const char* description);

// Parameterized cases print as their description in failure messages.
#define TERMGATE_PRINTS_AS_NAME(Case)                    \
  inline void PrintTo(const Case& c, std::ostream* os) { \
    *os << c.name;                                       \
  }

}  // namespace termgate::testing
