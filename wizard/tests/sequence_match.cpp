#include "sequence_match.h"

#include <algorithm>
#include <sstream>

namespace termgate::testing {

namespace {

// Longest common subsequence table, enough for traces of a few hundred lines.
std::vector<std::vector<std::size_t>> CommonLengths(const Sequence& a, const Sequence& b) {
  std::vector<std::vector<std::size_t>> lengths(a.size() + 1,
                                                std::vector<std::size_t>(b.size() + 1, 0));
  for (std::size_t i = a.size(); i-- > 0;) {
    for (std::size_t j = b.size(); j-- > 0;) {
      lengths[i][j] =
          a[i] == b[j] ? lengths[i + 1][j + 1] + 1 : std::max(lengths[i + 1][j], lengths[i][j + 1]);
    }
  }
  return lengths;
}

}  // namespace

::testing::AssertionResult SequenceMatches(const Sequence& actual, const Sequence& expected) {
  if (actual == expected) {
    return ::testing::AssertionSuccess();
  }
  const auto lengths = CommonLengths(expected, actual);
  std::ostringstream diff;
  diff << "call sequence differs (- expected, + actual):\n";
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < expected.size() || j < actual.size()) {
    if (i < expected.size() && j < actual.size() && expected[i] == actual[j]) {
      diff << "  " << expected[i++] << '\n';
      ++j;
    } else if (j < actual.size() &&
               (i == expected.size() || lengths[i][j + 1] >= lengths[i + 1][j])) {
      diff << "+ " << actual[j++] << '\n';
    } else {
      diff << "- " << expected[i++] << '\n';
    }
  }
  return ::testing::AssertionFailure() << diff.str();
}

void Append(Sequence& to, const Sequence& more) {
  to.insert(to.end(), more.begin(), more.end());
}

}  // namespace termgate::testing
