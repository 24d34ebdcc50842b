// The language code and the two Japanese captions, read once at start from the setting file
// that the computer maker's support software leaves on disk.
#pragma once

#include <array>

#include "host.h"

namespace termgate {

inline constexpr TextView kLanguageFilePath = u"c:\\Kelvarn\\Q-Harbor\\Lang.ini";

// The code whose two option captions are lines 2 and 3 of the file instead of texts of the
// program's own.
inline constexpr TextView kCaptionsFromFileCode = u"JP";

// Every code the wizard knows, and the language of its texts: the codes its localizing tables
// test, and kCaptionsFromFileCode. Tools and the documentation take the list from here.
struct KnownCode {
  TextView code;
  TextView language;
};
inline constexpr std::array kKnownCodes{
    KnownCode{u"EN", u"English"},
    KnownCode{u"FR", u"French"},
    KnownCode{u"BR", u"Portuguese"},
    KnownCode{u"DA", u"Danish"},
    KnownCode{u"ES", u"Spanish"},
    KnownCode{u"DE", u"German"},
    KnownCode{u"IT", u"Italian"},
    KnownCode{u"SV", u"Swedish"},
    KnownCode{u"NL", u"Dutch"},
    KnownCode{u"NO", u"Norwegian"},
    KnownCode{kCaptionsFromFileCode, u"Japanese"},
};

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
