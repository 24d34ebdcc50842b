// The language code and the two Japanese captions, read once at start from the setting file
// that the computer maker's support software leaves on disk.
#pragma once

#include "host.h"

namespace termgate {

inline constexpr TextView kLanguageFilePath = u"c:\\Kelvarn\\Q-Harbor\\Lang.ini";

// Process-wide texts. A text that was never set is empty.
struct LanguageSetting {
  Text LangCode;
  Text JpAcceptCaption;
  Text JpDeclineCaption;
};

// Fills `setting` from the language file: "EN" when the file is missing; otherwise line 1 as
// read, and for exactly "JP" lines 2 and 3 when present. Errors of the file-system object
// (an unopenable file, an empty one) leave this function unhandled.
void ReadLanguageSetting(Host& host, LanguageSetting& setting);

}  // namespace termgate
