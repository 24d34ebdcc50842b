// SetTopmost's two branches, and the layout table's invariants that hosts rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "layouts.h"
#include "module1.h"
#include "wizard_run.h"

namespace termgate::testing {
namespace {

TEST(SetTopmost, OnlyTheTrueFlagPutsOnTopAndPassesTheResultOn) {
  struct Case {
    VbBool flag;
    const char* call;
    std::int32_t result;
  };
  const Case cases[] = {
      {kTrue, "SetWindowPos 1001, -1, 0, 0, 0, 0, 3 -> 1", 1},
      {kFalse, "SetWindowPos 1001, -2, 0, 0, 0, 0, 3 -> 1", 0},
      {1, "SetWindowPos 1001, -2, 0, 0, 0, 0, 3 -> 1", 0},  // non-zero, yet not the true value
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flag);
    WizardRun run(NoLanguageFile());
    run.host.Start(run.wizard);
    EXPECT_EQ(SetTopmost(run.host, 1001, c.flag), c.result);
    EXPECT_EQ(run.host.trace().back(), c.call);
  }
}

int Pixels96(int twips) {
  return twips * 96 / kTwipsPerInch;
}

TEST(Layouts, ClientAreasAreWholePixelsAt96Dpi) {
  EXPECT_EQ(Pixels96(LayoutOf(Form::Form2).clientWidth), 1042);
  EXPECT_EQ(Pixels96(LayoutOf(Form::Form2).clientHeight), 731);
  EXPECT_EQ(Pixels96(LayoutOf(Form::Form3).clientWidth), 1038);
  EXPECT_EQ(Pixels96(LayoutOf(Form::Form3).clientHeight), 741);
}

TEST(Layouts, EveryWindowHasACompleteTabOrderAndControlsInsideIt) {
  for (const Form form : {Form::Form2, Form::Form3}) {
    const WindowLayout& window = LayoutOf(form);
    std::vector<int> tabIndexes;
    for (const ControlLayout& control : window.controls) {
      tabIndexes.push_back(control.tabIndex);
      EXPECT_LE(control.left + control.width, window.clientWidth);
      EXPECT_LE(control.top + control.height, window.clientHeight);
      EXPECT_EQ(&LayoutOf(Control{form, control.name}), &control);
    }
    std::sort(tabIndexes.begin(), tabIndexes.end());
    for (std::size_t i = 0; i < tabIndexes.size(); ++i) {
      EXPECT_EQ(tabIndexes[i], static_cast<int>(i)) << NameOf(form).size();
    }
  }
}

TEST(Layouts, TermsWindowBottomRowSharesOneLineAndLabelsFollowTheirOptions) {
  const auto at = [](ControlName name) { return LayoutOf(Control{Form::Form3, name}); };
  for (const ControlName name : {ControlName::Option1, ControlName::Label2, ControlName::Option2,
                                 ControlName::Label3, ControlName::Command1}) {
    EXPECT_EQ(at(name).top, 10440);
  }
  const ControlLayout browser = at(ControlName::WebBrowser2);
  EXPECT_EQ(browser.top + browser.height + 105, 10440);
  EXPECT_EQ(at(ControlName::Option1).left + at(ControlName::Option1).width + 105,
            at(ControlName::Label2).left);
  EXPECT_EQ(at(ControlName::Option2).left + at(ControlName::Option2).width + 105,
            at(ControlName::Label3).left);
}

TEST(Layouts, BindingsNameOnlyControlsOfTheirWindow) {
  std::set<std::pair<int, int>> handlers;
  for (const Form form : {Form::Form2, Form::Form3}) {
    for (const EventBinding& binding : LayoutOf(form).bindings) {
      if (binding.source) {
        LayoutOf(Control{form, *binding.source});  // aborts if the window has no such control
      }
      EXPECT_TRUE(
          handlers.emplace(static_cast<int>(form), static_cast<int>(binding.handler)).second);
    }
  }
  EXPECT_EQ(handlers.size(), 6u);
  EXPECT_FALSE(BoundHandler(Form::Form3, ControlName::Label2, Event::Click).has_value());
  EXPECT_FALSE(BoundHandler(Form::Form2, ControlName::WebBrowser1, Event::Click).has_value());
}

}  // namespace
}  // namespace termgate::testing
