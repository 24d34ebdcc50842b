#include "ansi_line_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime_error.h"

namespace termgate {
namespace {

// Hands out the bytes in pieces of a fixed size, so line breaks fall across reads.
class PiecewiseBytes final : public ByteSource {
 public:
  PiecewiseBytes(std::string bytes, std::size_t piece) : bytes_(std::move(bytes)), piece_(piece) {}
  std::size_t Read(std::span<char> buffer) override {
    const std::size_t count = std::min({buffer.size(), piece_, bytes_.size() - offset_});
    bytes_.copy(buffer.data(), count, offset_);
    offset_ += count;
    return count;
  }

 private:
  std::string bytes_;
  std::size_t piece_;
  std::size_t offset_ = 0;
};

Text Latin1(std::string_view bytes) {
  Text text;
  for (const char c : bytes) {
    text.push_back(static_cast<unsigned char>(c));
  }
  return text;
}

struct LineCase {
  const char* name;
  std::string bytes;
  std::vector<Text> lines;
};

const LineCase kLineCases[] = {
    {"one line without a break", "DE", {u"DE"}},
    {"crlf", "DE\r\nx\r\ny\r\n", {u"DE", u"x", u"y"}},
    {"lf", "JP\na\nb", {u"JP", u"a", u"b"}},
    {"lone cr ends a line", "JP\ra\rb\r", {u"JP", u"a", u"b"}},
    {"cr cr lf is an empty line", "a\r\r\nb", {u"a", u"", u"b"}},
    {"lf cr is two breaks", "a\n\rb", {u"a", u"", u"b"}},
    {"leading break gives an empty first line", "\r\nDE\r\n", {u"", u"DE"}},
    {"break alone", "\r\n", {u""}},
    {"empty lines inside", "JP\r\n\r\n\r\nx", {u"JP", u"", u"", u"x"}},
    {"blanks and tabs are kept", " EN \t\r\n", {u" EN \t"}},
    {"nul bytes are kept", std::string("D\0E\r\n", 5), {Text(u"D\0E", 3)}},
    {"bytes above 0x7f reach the decoder", "\xe6\xf8\r\n", {u"\u00e6\u00f8"}},
};

class AnsiLineReaderTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(AnsiLineReaderTest, ReadsEveryLineThenFailsPastTheEnd) {
  for (const LineCase& c : kLineCases) {
    SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(GetParam()));
    PiecewiseBytes source(c.bytes, GetParam());
    AnsiLineReader reader(source, Latin1);
    std::vector<Text> lines;
    while (!reader.AtEnd()) {
      lines.push_back(reader.ReadLine());
    }
    EXPECT_EQ(lines, c.lines);
    try {
      reader.ReadLine();
      ADD_FAILURE() << "a read past the end succeeded";
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.number, 62);
      EXPECT_EQ(error.description, u"Input past end of file");
    }
  }
}

// Whole reads, single bytes (every break split from its neighbours), and a size that splits
// CR LF pairs at odd offsets.
INSTANTIATE_TEST_SUITE_P(Pieces, AnsiLineReaderTest, ::testing::Values(65536u, 1u, 3u));

TEST(AnsiLineReader, EmptyFileIsAtEndAndItsFirstReadFails) {
  PiecewiseBytes source("", 1);
  AnsiLineReader reader(source, Latin1);
  EXPECT_THROW(reader.ReadLine(), RuntimeError);
}

TEST(AnsiLineReader, ReadsOnlyWhatTheLinesAskedForNeed) {
  // A long file: reading two short lines must not consume it all, and a line far longer than
  // one read still comes back whole.
  std::string bytes = "JP\r\n" + std::string(100000, 'a') + "\r\n";
  for (int i = 0; i < 10000; ++i) {
    bytes += "line\r\n";
  }
  PiecewiseBytes source(bytes, 4096);
  AnsiLineReader reader(source, Latin1);
  EXPECT_EQ(reader.ReadLine(), u"JP");
  EXPECT_EQ(reader.ReadLine().size(), 100000u);
  EXPECT_FALSE(reader.AtEnd());
  EXPECT_EQ(reader.ReadLine(), u"line");
}

}  // namespace
}  // namespace termgate
