// The scripted host's two text conversions: ANSI bytes in, trace text out.
#include <gtest/gtest.h>

#include "ansi_code_page.h"
#include "trace_text.h"

namespace termgate::scripted {
namespace {

struct DecodeCase {
  unsigned codePage;
  std::string bytes;
  Text text;
};

TEST(DecodeAnsi, MatchesWindowsForTheCodePagesWeRunOn) {
  const DecodeCase cases[] = {
      {1252, "Forts\xe6t", u"Fortsæt"},
      {1252, "\x80 \x9f", u"€ Ÿ"},
      // Undefined in 1252; Windows passes them through rather than failing.
      {1252, "\x81\x8d\x8f\x90\x9d", u"\u0081\u008d\u008f\u0090\u009d"},
      {932, "\x93\xaf\x88\xd3\x82\xb7\x82\xe9", u"同意する"},
      {932, "\xb1\xb2", u"ｱｲ"},  // half-width katakana are single bytes
      {932, "JP", u"JP"},
      {932, "\x82", u"\uFFFD"},              // a lead byte with no trail byte
      {932, "\x82\x01x", u"\uFFFD\u0001x"},  // a lead byte with an invalid trail byte
      {65001, "\xe5\x90\x8c", u"同"},
      {65001,
       "\xff"
       "a",
       u"\uFFFDa"},
      {1252, std::string("a\0b", 3), Text(u"a\0b", 3)},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE("code page " + std::to_string(c.codePage) + ": " + ToUtf8(c.text));
    EXPECT_EQ(DecodeAnsi(c.codePage, c.bytes), c.text);
  }
}

TEST(DecodeAnsi, KnowsWhichCodePagesItCanPlay) {
  EXPECT_TRUE(IsSupportedCodePage(1252));
  EXPECT_TRUE(IsSupportedCodePage(932));
  EXPECT_TRUE(IsSupportedCodePage(65001));
  EXPECT_FALSE(IsSupportedCodePage(4));
}

TEST(Quoted, EscapesOnlyQuoteBackslashCrAndLf) {
  const std::pair<Text, std::string> cases[] = {
      {u"", R"("")"},
      {u"c:\\Kelvarn\\Lang.ini", R"("c:\\Kelvarn\\Lang.ini")"},
      {u"auf\"Abbrechen\"", R"("auf\"Abbrechen\"")"},
      {u"a\r\n\r\nb", R"("a\r\n\r\nb")"},
      {u"tab\there", "\"tab\there\""},
      {u"Fortsätt 同意", "\"Fortsätt 同意\""},
      {u"\U0001F600", "\"\U0001F600\""},           // a surrogate pair is one character
      {Text(1, u'\xD800') + u"x", "\"\uFFFDx\""},  // a lone surrogate has no UTF-8 form
  };
  for (const auto& [text, quoted] : cases) {
    EXPECT_EQ(Quoted(text), quoted);
  }
}

}  // namespace
}  // namespace termgate::scripted
