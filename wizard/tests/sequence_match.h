// Compares a recorded call sequence with the expected one and, on a mismatch, shows where they
// part: every line of both, marked the way a unified diff marks them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace termgate::testing {

using Sequence = std::vector<std::string>;

::testing::AssertionResult SequenceMatches(const Sequence& actual, const Sequence& expected);

// Appends the lines of `more` to `to`.
void Append(Sequence& to, const Sequence& more);

}  // namespace termgate::testing

#define EXPECT_SEQUENCE(actual, expected) \
  EXPECT_TRUE(::termgate::testing::SequenceMatches((actual), (expected)))
