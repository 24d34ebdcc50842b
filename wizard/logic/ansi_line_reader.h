// Reads lines of an ANSI-code-page text file the way the text stream does, for hosts that
// read the language file themselves.
//
// CR LF, LF and a lone CR each end a line, and the break is not part of the line. A lone CR
// counts because a value that ended in an invisible CR could never match a language code.
// Breaks are found in the raw bytes before decoding: in the Windows ANSI code pages, single-
// and double-byte alike, bytes 0x0A and 0x0D are never part of a multi-byte character.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "host.h"

namespace termgate {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `buffer.size()` bytes; 0 means the end of the file. Throws RuntimeError on a
  // read failure.
  virtual std::size_t Read(std::span<char> buffer) = 0;
};

// Turns the raw bytes of one line into text (the host's ANSI code page).
using AnsiDecoder = std::function<Text(std::string_view bytes)>;

class AnsiLineReader {
 public:
  AnsiLineReader(ByteSource& source, AnsiDecoder decode);

  // Throws run-time error 62 when no line is left.
  Text ReadLine();
  bool AtEnd();

 private:
  // Makes at least one more unread byte available unless the source is exhausted.
  bool FillMore();

  ByteSource& source_;
  AnsiDecoder decode_;
  std::string buffer_;
  std::size_t position_ = 0;
  bool exhausted_ = false;
};

}  // namespace termgate
