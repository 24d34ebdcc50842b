#include "wizard_run.h"

#include <cctype>

namespace termgate::testing {

namespace {
const std::string kQuotedLangPath = R"("c:\\Kelvarn\\Q-Harbor\\Lang.ini")";
const std::string kAppPath = R"(C:\\Program Files\\Kelvarn\\Termgate)";
}  // namespace

scripted::Setup NoLanguageFile() {
  return scripted::Setup{};
}

scripted::Setup LanguageFileOf(std::string bytes, unsigned codePage) {
  scripted::Setup setup;
  setup.languageFile = scripted::LanguageFile{.bytes = std::move(bytes), .openable = true};
  setup.codePage = codePage;
  return setup;
}

Sequence FileCalls(const std::optional<Sequence>& lines) {
  if (!lines) {
    return {"  FileExists " + kQuotedLangPath + " -> False"};
  }
  Sequence calls{
      "  FileExists " + kQuotedLangPath + " -> True",
      "  OpenTextFile " + kQuotedLangPath + ", 1",
  };
  Append(calls, *lines);
  calls.push_back("  Close");
  return calls;
}

Sequence StartCalls(const Sequence& fileCalls, const std::optional<std::string>& nextCaption) {
  Sequence calls{
      "> Form2.Form_Load",
      R"(  CreateObject "Scripting.FileSystemObject")",
  };
  Append(calls, fileCalls);
  if (nextCaption) {
    calls.push_back("  Form2.Command1.Caption = \"" + *nextCaption + "\"");
  }
  Append(calls, {
                    "  Form2.hWnd -> 1001",
                    "  SetWindowPos 1001, -1, 0, 0, 0, 0, 3 -> 1",
                    "  App.Path -> \"" + kAppPath + "\"",
                    "  Form2.WebBrowser1.Navigate2 \"" + kAppPath + R"(\\index.html")",
                    "< Form2.Form_Load",
                    "host: Form2 is shown",
                });
  return calls;
}

Sequence NextCalls(const std::optional<std::pair<std::string, std::string>>& labels) {
  Sequence calls{
      "user: clicks Form2.Command1", "> Form2.Command1_Click", "  Form2.Hide", "  Form3.Show",
      "  > Form3.Form_Load",
  };
  if (labels) {
    calls.push_back("    Form3.Label2.Caption = \"" + labels->first + "\"");
    calls.push_back("    Form3.Label3.Caption = \"" + labels->second + "\"");
  }
  Append(calls, {
                    "    Form3.hWnd -> 1002",
                    "    SetWindowPos 1002, -1, 0, 0, 0, 0, 3 -> 1",
                    "    App.Path -> \"" + kAppPath + "\"",
                    "    Form3.WebBrowser2.Navigate2 \"" + kAppPath + R"(\\toolbar.html")",
                    "    Form3.hWnd -> 1002",
                    "    GetSystemMenu 1002, 0 -> 2002",
                    "    RemoveMenu 2002, 61536, 0 -> 1",
                    "  < Form3.Form_Load",
                    "< Form2.Command1_Click",
                });
  return calls;
}

Sequence OptionClickCalls(int option, const std::optional<std::string>& localized, int depth) {
  const std::string indent(static_cast<std::size_t>(2 * depth), ' ');
  const std::string handler = "Form3.Option" + std::to_string(option) + "_Click";
  Sequence calls{
      indent + "> " + handler,
      indent + "  Form3.Command1.Caption = \"" + (option == 1 ? "Finish" : "Uninstall") + "\"",
  };
  if (localized) {
    calls.push_back(indent + "  Form3.Command1.Caption = \"" + *localized + "\"");
  }
  Append(calls, {
                    indent + "  Form3.Command1.Visible = True",
                    indent + "  Form3.Command1.Enabled = True",
                    indent + "< " + handler,
                });
  return calls;
}

std::string CaseName(const char* description) {
  std::string name;
  for (const char* c = description; *c != '\0'; ++c) {
    name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  }
  return name;
}

}  // namespace termgate::testing
