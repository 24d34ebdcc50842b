// SetTopmost's two branches, and the layout table's invariants that hosts rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "layouts.h"
#include "module1.h"
#include "wizard_run.h"

namespace termgate::testing {
namespace {

std::string Ascii(TextView name) {
  return std::string(name.begin(), name.end());
}

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

TEST(Layouts, ClientAreasAreWholePixelsAt96Dpi) {
  // A client area that is no whole number of pixels would be rounded by the host, and its
  // controls would no longer sit where the layout puts them relative to its edges.
  for (const Form form : kForms) {
    SCOPED_TRACE(Ascii(NameOf(form)));
    const WindowLayout& window = LayoutOf(form);
    EXPECT_EQ(window.clientWidth * 96 % kTwipsPerInch, 0) << window.clientWidth;
    EXPECT_EQ(window.clientHeight * 96 % kTwipsPerInch, 0) << window.clientHeight;
  }
}

TEST(Layouts, EveryWindowHasACompleteTabOrderAndControlsInsideIt) {
  for (const Form form : kForms) {
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
      EXPECT_EQ(tabIndexes[i], static_cast<int>(i)) << Ascii(NameOf(form));
    }
  }
}

TEST(Layouts, TermsWindowBottomRowSharesOneLineAndLabelsFollowTheirOptions) {
  // The bottom row is every control below the terms page; its controls share one top edge, and
  // each option's label starts to the right of the option with nothing in between.
  const WindowLayout& window = LayoutOf(Form::Form3);
  const ControlLayout& page = LayoutOf(Control{Form::Form3, ControlName::WebBrowser2});
  std::vector<const ControlLayout*> row;
  for (const ControlLayout& control : window.controls) {
    if (control.top >= page.top + page.height) {
      row.push_back(&control);
    }
  }
  ASSERT_EQ(row.size(), 5u);
  for (const ControlLayout* control : row) {
    EXPECT_EQ(control->top, row.front()->top) << Ascii(NameOf(control->name));
  }
  for (const ControlLayout* option : row) {
    if (!option->labelledBy) {
      continue;
    }
    const ControlLayout& label = LayoutOf(Control{Form::Form3, *option->labelledBy});
    const int gapStart = option->left + option->width;
    EXPECT_GT(label.left, gapStart);
    for (const ControlLayout* other : row) {
      EXPECT_FALSE(other->left >= gapStart && other->left < label.left)
          << Ascii(NameOf(other->name)) << " lies between " << Ascii(NameOf(option->name))
          << " and its label";
    }
  }
}

TEST(Layouts, BindingsNameOnlyControlsOfTheirWindow) {
  std::set<std::pair<int, int>> handlers;
  for (const Form form : kForms) {
    for (const EventBinding& binding : LayoutOf(form).bindings) {
      if (binding.source) {
        LayoutOf(Control{form, *binding.source});  // aborts if the window has no such control
      }
      EXPECT_TRUE(
          handlers.emplace(static_cast<int>(form), static_cast<int>(binding.handler)).second);
    }
  }
  EXPECT_EQ(handlers.size(), 7u);
  EXPECT_FALSE(BoundHandler(Form::Form3, ControlName::Label2, Event::Click).has_value());
  EXPECT_FALSE(BoundHandler(Form::Form2, ControlName::WebBrowser1, Event::Click).has_value());
}

}  // namespace
}  // namespace termgate::testing
