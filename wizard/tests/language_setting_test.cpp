// What the language setting reads from the file, call by call, and what it keeps.
#include "language_setting.h"

#include <gtest/gtest.h>

#include "wizard_run.h"

namespace termgate::testing {
namespace {

struct SettingCase {
  const char* name;
  scripted::Setup setup;
  Sequence calls;  // after CreateObject
  LanguageSetting kept;
};
TERMGATE_PRINTS_AS_NAME(SettingCase)

const char kExists[] = R"(FileExists "c:\\Kelvarn\\Q-Harbor\\Lang.ini" -> True)";
const char kOpen[] = R"(OpenTextFile "c:\\Kelvarn\\Q-Harbor\\Lang.ini", 1)";

std::vector<SettingCase> Cases() {
  return {
      {"no file",
       NoLanguageFile(),
       {R"(FileExists "c:\\Kelvarn\\Q-Harbor\\Lang.ini" -> False)"},
       {u"EN", u"", u""}},
      {"DE alone",
       LanguageFileOf("DE"),
       {kExists, kOpen, R"(ReadLine -> "DE")", "Close"},
       {u"DE", u"", u""}},
      {"DE, x, y: only the first line",
       LanguageFileOf("DE\r\nx\r\ny\r\n"),
       {kExists, kOpen, R"(ReadLine -> "DE")", "Close"},
       {u"DE", u"", u""}},
      {"JP alone",
       LanguageFileOf("JP\r\n"),
       {kExists, kOpen, R"(ReadLine -> "JP")", "AtEndOfStream -> True", "AtEndOfStream -> True",
        "Close"},
       {u"JP", u"", u""}},
      {"JP, a",
       LanguageFileOf("JP\r\na\r\n"),
       {kExists, kOpen, R"(ReadLine -> "JP")", "AtEndOfStream -> False", R"(ReadLine -> "a")",
        "AtEndOfStream -> True", "Close"},
       {u"JP", u"a", u""}},
      {"JP, a, b",
       LanguageFileOf("JP\r\na\r\nb"),
       {kExists, kOpen, R"(ReadLine -> "JP")", "AtEndOfStream -> False", R"(ReadLine -> "a")",
        "AtEndOfStream -> False", R"(ReadLine -> "b")", "Close"},
       {u"JP", u"a", u"b"}},
      {"JP, a, b, c: the fourth line is not read",
       LanguageFileOf("JP\r\na\r\nb\r\nc\r\n"),
       {kExists, kOpen, R"(ReadLine -> "JP")", "AtEndOfStream -> False", R"(ReadLine -> "a")",
        "AtEndOfStream -> False", R"(ReadLine -> "b")", "Close"},
       {u"JP", u"a", u"b"}},
      {"JP with empty captions, untrimmed",
       LanguageFileOf("JP\n\n  b \n"),
       {kExists, kOpen, R"(ReadLine -> "JP")", "AtEndOfStream -> False", R"(ReadLine -> "")",
        "AtEndOfStream -> False", R"(ReadLine -> "  b ")", "Close"},
       {u"JP", u"", u"  b "}},
      {"jp in lower case reads no captions",
       LanguageFileOf("jp\r\na\r\nb\r\n"),
       {kExists, kOpen, R"(ReadLine -> "jp")", "Close"},
       {u"jp", u"", u""}},
      {"JP with a trailing blank reads no captions",
       LanguageFileOf("JP \r\na\r\n"),
       {kExists, kOpen, R"(ReadLine -> "JP ")", "Close"},
       {u"JP ", u"", u""}},
      {"lone CR breaks",
       LanguageFileOf("JP\ra\rb"),
       {kExists, kOpen, R"(ReadLine -> "JP")", "AtEndOfStream -> False", R"(ReadLine -> "a")",
        "AtEndOfStream -> False", R"(ReadLine -> "b")", "Close"},
       {u"JP", u"a", u"b"}},
      {"a UTF-8 byte order mark is text in the ANSI code page",
       LanguageFileOf("\xef\xbb\xbf"
                      "DE"),
       {kExists, kOpen, R"(ReadLine -> "ï»¿DE")", "Close"},
       {u"\u00ef\u00bb\u00bfDE", u"", u""}},
  };
}

class LanguageSettingRead : public ::testing::TestWithParam<SettingCase> {};

TEST_P(LanguageSettingRead, CallsInOrderAndKeepsTheLinesAsRead) {
  const SettingCase& c = GetParam();
  scripted::ScriptedHost host(c.setup);
  LanguageSetting setting;
  ReadLanguageSetting(host, setting);

  Sequence expected{R"(CreateObject "Scripting.FileSystemObject")"};
  Append(expected, c.calls);
  EXPECT_SEQUENCE(host.trace(), expected);
  EXPECT_EQ(setting.LangCode, c.kept.LangCode);
  EXPECT_EQ(setting.JpAcceptCaption, c.kept.JpAcceptCaption);
  EXPECT_EQ(setting.JpDeclineCaption, c.kept.JpDeclineCaption);
}

INSTANTIATE_TEST_SUITE_P(Files, LanguageSettingRead, ::testing::ValuesIn(Cases()),
                         [](const auto& param) { return CaseName(param.param.name); });

TEST(LanguageSettingRead, PathIsMatchedWithoutRegardToCaseLikeWindows) {
  scripted::ScriptedHost host(LanguageFileOf("DE"));
  EXPECT_EQ(host.CreateFileSystemObject()->FileExists(u"C:\\KELVARN\\q-harbor\\lang.INI"), kTrue);
  EXPECT_EQ(host.CreateFileSystemObject()->FileExists(u"c:\\Kelvarn\\Lang.ini"), kFalse);
}

}  // namespace
}  // namespace termgate::testing
