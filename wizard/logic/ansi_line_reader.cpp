#include "ansi_line_reader.h"

#include <array>
#include <utility>

#include "runtime_error.h"

namespace termgate {

namespace {
constexpr std::size_t kChunkSize = 16 * 1024;
}

AnsiLineReader::AnsiLineReader(ByteSource& source, AnsiDecoder decode)
    : source_(source), decode_(std::move(decode)) {}

bool AnsiLineReader::FillMore() {
  if (exhausted_) {
    return false;
  }
  // Drop what has been consumed, so a long file never holds more than its longest line.
  buffer_.erase(0, position_);
  position_ = 0;
  std::array<char, kChunkSize> chunk;
  const std::size_t count = source_.Read(chunk);
  if (count == 0) {
    exhausted_ = true;
    return false;
  }
  buffer_.append(chunk.data(), count);
  return true;
}

bool AnsiLineReader::AtEnd() {
  while (position_ == buffer_.size()) {
    if (!FillMore()) {
      return true;
    }
  }
  return false;
}

Text AnsiLineReader::ReadLine() {
  if (AtEnd()) {
    throw runtime_errors::InputPastEndOfFile();
  }
  // Offsets are kept relative to position_, which FillMore may move.
  std::size_t searched = 0;
  for (;;) {
    const std::size_t brk = buffer_.find_first_of("\r\n", position_ + searched);
    if (brk == std::string::npos) {
      searched = buffer_.size() - position_;
      if (!FillMore()) {
        Text line = decode_(std::string_view(buffer_).substr(position_));
        position_ = buffer_.size();
        return line;
      }
      continue;
    }
    const std::size_t length = brk - position_;
    std::size_t breakLength = 1;
    if (buffer_[brk] == '\r') {
      if (brk + 1 == buffer_.size()) {
        FillMore();  // the LF of a CR LF may be in the next chunk
      }
      const std::size_t cr = position_ + length;
      if (cr + 1 < buffer_.size() && buffer_[cr + 1] == '\n') {
        breakLength = 2;
      }
    }
    Text line = decode_(std::string_view(buffer_).substr(position_, length));
    position_ += length + breakLength;
    return line;
  }
}

}  // namespace termgate
