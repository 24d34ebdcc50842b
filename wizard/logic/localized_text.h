// A text that one language code sets. Localizing steps walk such a table in full, testing
// every row on its own (no else-chain), so a code that no row names keeps the text before it.
#pragma once

#include <span>

#include "host.h"
#include "language_setting.h"

namespace termgate {

struct LocalizedText {
  TextView code;
  TextView text;
};

// Walks every row: the caption of `control` becomes the text of each row whose code is the
// language's, compared exactly.
inline void SetLocalized(Host& host, Control control, const LanguageSetting& language,
                         std::span<const LocalizedText> rows) {
  for (const LocalizedText& row : rows) {
    if (language.LangCode == row.code) {
      host.Caption(control, row.text);
    }
  }
}

}  // namespace termgate
