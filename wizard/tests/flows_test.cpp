// The terms window's paths to the end of the program, and how failures end it, in English
// (no language file) so that only the flow differs between cases.
#include <gtest/gtest.h>

#include "wizard_run.h"

namespace termgate::testing {
namespace {

using scripted::RunState;

const char kEnglishBox[] =
    R"_(MsgBox "You have chosen to decline the Terms of Use for the Quillon Toolbar.  The toolbar will be uninstalled.\r\n\r\n\r\nYou may uninstall the remaining Quillon products from the Add/Remove Programs menu.\r\n\r\n\r\nClick cancel to return to the Terms of Use page.", 1, "Uninstall Quillon Toolbar")_";

enum class Step {
  Next,
  Accept,
  Decline,
  AcceptLabel,
  DeclineLabel,
  Button,
  RaiseButtonHandler,
  Quit
};

// The answers queued for the boxes, in order; kQuit: the program is told to quit at that box.
constexpr std::optional<std::int32_t> kQuit;

struct FlowCase {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::optional<std::int32_t>> answers;
  Sequence expected;  // after the terms window has loaded
  RunState finalState;
};
TERMGATE_PRINTS_AS_NAME(FlowCase)

Sequence SelectCalls(int option) {
  Sequence calls{"user: selects Form3.Option" + std::to_string(option)};
  Append(calls, OptionClickCalls(
                    option, option == 1 ? std::optional<std::string>("Finish") : std::nullopt, 0));
  return calls;
}

Sequence Concat(std::initializer_list<Sequence> parts) {
  Sequence all;
  for (const Sequence& part : parts) {
    Append(all, part);
  }
  return all;
}

const Sequence kClick{"user: clicks Form3.Command1", "> Form3.Command1_Click"};
const Sequence kReadsDecline{"  Form3.Option1.Value -> False", "  Form3.Option2.Value -> True",
                             "  Form3.Hide"};
const Sequence kCommandsAndNotice{
    R"(  Shell "cmd.exe /c regsvr32 /u /s \"%programfiles%\\quillon\\quillontoolbar1.dll\"", 2)",
    R"(  Shell "cmd.exe /c regsvr32 /u /s \"%programfiles%\\quillon\\quillontoolbar2.dll\"", 2)",
    R"(  MsgBox "Uninstalled Quillon Toolbar", 0, "" -> 1 (OK))",
    "  End",
    "host: the program has ended",
};
Sequence QueryUnload(const Sequence& calls, const char* indent) {
  return Concat(
      {{std::string(indent) + "> Form3.Form_QueryUnload"},
       calls,
       {std::string(indent) + "< Form3.Form_QueryUnload", "host: the program ends with status 1"}});
}
Sequence CancelReturnsToAccept() {
  return Concat({{"  Form3.Show", "  Form3.Option1.Value = True"},
                 OptionClickCalls(1, "Finish", 1),
                 {"< Form3.Command1_Click"}});
}

std::vector<FlowCase> Cases() {
  using enum Step;
  return {
      {"accept then the button ends at once",
       {Next, Accept, Button},
       {},
       Concat({SelectCalls(1),
               kClick,
               {"  Form3.Option1.Value -> True", "  End", "host: the program has ended"}}),
       RunState::Ended},
      {"decline, button, OK uninstalls and ends",
       {Next, Decline, Button},
       {kVbOk},
       Concat({SelectCalls(2),
               kClick,
               kReadsDecline,
               {std::string("  ") + kEnglishBox + " -> 1 (OK)"},
               kCommandsAndNotice}),
       RunState::Ended},
      {"decline, button, Cancel returns with accept selected; the button then ends",
       {Next, Decline, Button, Button},
       {kVbCancel},
       Concat({SelectCalls(2),
               kClick,
               kReadsDecline,
               {std::string("  ") + kEnglishBox + " -> 2 (Cancel)"},
               CancelReturnsToAccept(),
               kClick,
               {"  Form3.Option1.Value -> True", "  End", "host: the program has ended"}}),
       RunState::Ended},
      {"after a Cancel the box opens again and its answer replaces the first",
       {Next, Decline, Button, Decline, Button},
       {kVbCancel, kVbOk},
       Concat({SelectCalls(2),
               kClick,
               kReadsDecline,
               {std::string("  ") + kEnglishBox + " -> 2 (Cancel)"},
               CancelReturnsToAccept(),
               SelectCalls(2),
               kClick,
               kReadsDecline,
               {std::string("  ") + kEnglishBox + " -> 1 (OK)"},
               kCommandsAndNotice}),
       RunState::Ended},
      {"the handler run with no option selected changes nothing",
       {Next, RaiseButtonHandler},
       {},
       {"host: raises Form3.Command1_Click", "> Form3.Command1_Click",
        "  Form3.Option1.Value -> False", "  Form3.Option2.Value -> False",
        "< Form3.Command1_Click"},
       RunState::Running},
      {"the hidden button cannot be clicked",
       {Next, Button},
       {},
       {"user: clicks Form3.Command1",
        "host: Form3.Command1 is not on screen or not enabled; nothing happens"},
       RunState::Running},
      {"switching options only changes the caption",
       {Next, Decline, Accept, Decline, Decline},
       {},
       Concat({SelectCalls(2),
               SelectCalls(1),
               SelectCalls(2),
               {"user: selects Form3.Option2",
                "host: Form3.Option2 is already selected; nothing happens"}}),
       RunState::Running},
      {"a box with no answer stops the run",
       {Next, Decline, Button},
       {},
       Concat({SelectCalls(2),
               kClick,
               kReadsDecline,
               {std::string("  ") + kEnglishBox + " -> (no answer queued)",
                "host: no answer is queued for the message box; the run stops here"}}),
       RunState::WaitingForAnswer},
      {"a quit at the confirmation starts nothing",
       {Next, Decline, Button},
       {kQuit},
       Concat({SelectCalls(2),
               kClick,
               kReadsDecline,
               {std::string("  ") + kEnglishBox + " -> (told to quit)"},
               QueryUnload({}, "  ")}),
       RunState::EndedFromOutside},
      // They started at the OK; the quit must not start them again.
      {"a quit at the notice leaves both commands started once",
       {Next, Decline, Button},
       {kVbOk, kQuit},
       Concat({SelectCalls(2),
               kClick,
               kReadsDecline,
               {std::string("  ") + kEnglishBox + " -> 1 (OK)"},
               {kCommandsAndNotice[0], kCommandsAndNotice[1],
                R"(  MsgBox "Uninstalled Quillon Toolbar", 0, "" -> (told to quit))"},
               QueryUnload({}, "  ")}),
       RunState::EndedFromOutside},
      {"a quit with no box open starts nothing",
       {Next, Decline, Quit},
       {},
       Concat({SelectCalls(2), {"host: the program is told to quit"}, QueryUnload({}, "")}),
       RunState::EndedFromOutside},
      {"a click on an option's words chooses it",
       {Next, DeclineLabel, AcceptLabel, AcceptLabel},
       {},
       Concat({{"user: clicks Form3.Label3"},
               OptionClickCalls(2, std::nullopt, 0),
               {"user: clicks Form3.Label2"},
               OptionClickCalls(1, "Finish", 0),
               {"user: clicks Form3.Label2",
                "host: Form3.Option1 is already selected; nothing happens"}}),
       RunState::Running},
  };
}

class Flow : public ::testing::TestWithParam<FlowCase> {};

TEST_P(Flow, CallsInOrderToTheEnd) {
  const FlowCase& c = GetParam();
  WizardRun run(NoLanguageFile());
  for (const auto& answer : c.answers) {
    if (answer) {
      run.host.QueueAnswer(*answer);
    } else {
      run.host.QueueQuit();
    }
  }
  run.host.Start(run.wizard);
  for (const Step step : c.steps) {
    switch (step) {
      case Step::Next:
        run.host.ClickButton(Form::Form2);
        break;
      case Step::Accept:
        run.host.SelectOption(ControlName::Option1);
        break;
      case Step::Decline:
        run.host.SelectOption(ControlName::Option2);
        break;
      case Step::Button:
        run.host.ClickButton(Form::Form3);
        break;
      case Step::AcceptLabel:
        run.host.ClickLabel(ControlName::Label2);
        break;
      case Step::DeclineLabel:
        run.host.ClickLabel(ControlName::Label3);
        break;
      case Step::RaiseButtonHandler:
        run.host.RaiseEvent(Form::Form3, Handler::Command1_Click);
        break;
      case Step::Quit:
        run.host.TellToQuit();
        break;
    }
  }
  Sequence expected = StartCalls(FileCalls(std::nullopt), "Continue");
  Append(expected, NextCalls(std::make_pair("I accept", "I decline")));
  Append(expected, c.expected);
  EXPECT_SEQUENCE(run.host.trace(), expected);
  EXPECT_EQ(run.host.state(), c.finalState);
  EXPECT_EQ(run.host.unusedAnswers(), 0u);
}

INSTANTIATE_TEST_SUITE_P(TermsWindow, Flow, ::testing::ValuesIn(Cases()),
                         [](const auto& param) { return CaseName(param.param.name); });

TEST(Flow, WindowsAndControlsAfterCancelAreAsTheUserExpects) {
  WizardRun run(NoLanguageFile());
  run.host.QueueAnswer(kVbCancel);
  run.host.Start(run.wizard);
  EXPECT_TRUE(run.host.IsVisible(Form::Form2));
  EXPECT_TRUE(run.host.IsTopmost(Form::Form2));
  EXPECT_FALSE(run.host.IsLoaded(Form::Form3));

  run.host.ClickButton(Form::Form2);
  EXPECT_FALSE(run.host.IsVisible(Form::Form2));
  EXPECT_TRUE(run.host.IsVisible(Form::Form3));
  EXPECT_TRUE(run.host.IsTopmost(Form::Form3));
  EXPECT_FALSE(run.host.HasCloseCommand(Form::Form3));
  const Control button{Form::Form3, ControlName::Command1};
  EXPECT_FALSE(run.host.StateOf(button).visible);
  EXPECT_FALSE(run.host.StateOf(button).enabled);

  run.host.SelectOption(ControlName::Option2);
  run.host.ClickButton(Form::Form3);
  EXPECT_TRUE(run.host.IsVisible(Form::Form3));
  EXPECT_FALSE(run.host.IsVisible(Form::Form2));
  EXPECT_EQ(run.host.StateOf({Form::Form3, ControlName::Option1}).value, kTrue);
  EXPECT_EQ(run.host.StateOf({Form::Form3, ControlName::Option2}).value, kFalse);
  EXPECT_EQ(run.host.StateOf(button).caption, u"Finish");
  EXPECT_TRUE(run.host.StateOf(button).visible);
  EXPECT_TRUE(run.host.StateOf(button).enabled);
}

// Errors end the program through the host's default error handling: nothing after the failing
// call runs, and a failure while loading the welcome window leaves it unshown.
struct FailureCase {
  const char* name;
  scripted::Setup setup;
  std::optional<std::pair<const char*, RuntimeError>> failure;  // nullopt: the file itself fails
  bool clickNext;
  Sequence tail;  // the trace from the failing call on
  std::int32_t error;
};
TERMGATE_PRINTS_AS_NAME(FailureCase)

std::vector<FailureCase> FailureCases() {
  return {
      {"empty language file",
       LanguageFileOf(""),
       std::nullopt,
       false,
       {R"(  ReadLine -> run-time error 62 "Input past end of file")",
        R"(host: error box "Run-time error '62':\r\n\r\nInput past end of file" titled "Termgate"; the program ends)"},
       62},
      {"language file that cannot be opened",
       scripted::Setup{.languageFile = scripted::LanguageFile{.bytes = "DE", .openable = false}},
       std::nullopt,
       false,
       {R"(  OpenTextFile "c:\\Kelvarn\\Q-Harbor\\Lang.ini", 1 -> run-time error 70 "Permission denied")",
        R"(host: error box "Run-time error '70':\r\n\r\nPermission denied" titled "Termgate"; the program ends)"},
       70},
      {"terms page navigation",
       NoLanguageFile(),
       std::make_pair("Form3.WebBrowser2.Navigate2", runtime_errors::CannotCreateObject()),
       true,
       {R"(    Form3.WebBrowser2.Navigate2 "C:\\Program Files\\Kelvarn\\Termgate\\toolbar.html" -> run-time error 429 "ActiveX component can't create object")",
        R"(host: error box "Run-time error '429':\r\n\r\nActiveX component can't create object" titled "Termgate"; the program ends)"},
       429},
  };
}

class Failure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(Failure, EndsTheProgramThroughTheDefaultErrorHandling) {
  const FailureCase& c = GetParam();
  WizardRun run(c.setup);
  if (c.failure) {
    run.host.FailOperation(c.failure->first, c.failure->second);
  }
  run.host.Start(run.wizard);
  if (c.clickNext) {
    run.host.ClickButton(Form::Form2);
  }
  const auto& trace = run.host.trace();
  ASSERT_GE(trace.size(), c.tail.size());
  EXPECT_SEQUENCE(Sequence(trace.end() - static_cast<std::ptrdiff_t>(c.tail.size()), trace.end()),
                  c.tail);
  EXPECT_EQ(run.host.state(), RunState::EndedByError);
  ASSERT_TRUE(run.host.fatalError().has_value());
  EXPECT_EQ(run.host.fatalError()->number, c.error);
  EXPECT_FALSE(run.host.IsVisible(Form::Form2));
  EXPECT_FALSE(run.host.IsVisible(Form::Form3));

  run.host.ClickButton(Form::Form3);
  EXPECT_EQ(run.host.trace().back(), "host: the program is not running; nothing happens");
}

INSTANTIATE_TEST_SUITE_P(Errors, Failure, ::testing::ValuesIn(FailureCases()),
                         [](const auto& param) { return CaseName(param.param.name); });

}  // namespace
}  // namespace termgate::testing
