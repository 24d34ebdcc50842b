// mouseprobe: prints the console mouse library's version and the mouse server's version.

#include <gpm.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

static_assert(sizeof(int) == 4, "libgpm hands back its version numbers as a 32-bit int");

constexpr const char* kMissingText = "unknown";

// The length of the printable character that `rest` starts with: printable ASCII, or a
// well-formed UTF-8 sequence; 0 for anything else.
std::size_t PrintableCharacterLength(std::string_view rest) {
  const auto byte = [rest](std::size_t index) { return static_cast<unsigned char>(rest[index]); };
  const unsigned char lead = byte(0);
  if (lead >= 0x20 && lead < 0x7f) {
    return 1;
  }
  std::size_t length = 0;
  char32_t codePoint = 0;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
    codePoint = lead & 0x1fU;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    codePoint = lead & 0x0fU;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    codePoint = lead & 0x07U;
  } else {
    return 0;
  }
  if (rest.size() < length) {
    return 0;
  }
  for (std::size_t index = 1; index < length; ++index) {
    if ((byte(index) & 0xc0U) != 0x80U) {
      return 0;
    }
    codePoint = (codePoint << 6) | (byte(index) & 0x3fU);
  }
  // Overlong forms, UTF-16 surrogates and code points past U+10FFFF are no text, and the C1
  // controls (U+0080 to U+009F) steer some terminals as their 8-bit bytes do.
  constexpr char32_t kSmallest[] = {0, 0, 0xa0, 0x800, 0x10000};
  if (codePoint < kSmallest[length] || (codePoint >= 0xd800 && codePoint <= 0xdfff) ||
      codePoint > 0x10ffff) {
    return 0;
  }
  return length;
}

[[noreturn]] void ExitWithError(const char* what) {
  std::fprintf(stderr, "mouseprobe: %s\n", what);
  std::exit(EXIT_FAILURE);
}

struct FreeWithC {
  void operator()(char* text) const { std::free(text); }
};
// Held in the C library's heap, so that the program needs no C++ run time at all: it starts as
// fast as the same two calls written in C.
using CText = std::unique_ptr<char, FreeWithC>;

// The texts come from the library and from whatever program answers as the server, and end up on
// a terminal: a byte that could steer it (control characters, ESC, DEL, stray bytes that are not
// UTF-8) is written as \xHH instead. A backslash of the text itself is doubled, so that such an
// escape cannot be forged by a server that prints one.
CText Shown(const char* versionText) {
  std::string_view rest =
      versionText == nullptr || *versionText == '\0' ? kMissingText : versionText;
  constexpr std::size_t kEscapedLength = 4;  // \xHH for one byte
  CText shown(static_cast<char*>(std::malloc(rest.size() * kEscapedLength + 1)));
  if (!shown) {
    ExitWithError("out of memory");
  }
  char* end = shown.get();
  while (!rest.empty()) {
    if (rest.starts_with('\\')) {
      end = std::copy_n("\\\\", 2, end);
      rest.remove_prefix(1);
      continue;
    }
    const std::size_t length = PrintableCharacterLength(rest);
    if (length > 0) {
      end = std::copy_n(rest.data(), length, end);
      rest.remove_prefix(length);
    } else {
      std::snprintf(end, kEscapedLength + 1, "\\x%02x", static_cast<unsigned char>(rest[0]));
      end += kEscapedLength;
      rest.remove_prefix(1);
    }
  }
  *end = '\0';
  return shown;
}

// libgpm reads the server's number out of the server's text, as MAJOR.MINOR[.PATCH]. When the text
// does not start that way the number is made of variables the library never set, so it must not
// even be looked at.
bool StartsWithVersion(std::string_view text) {
  const auto takeNumber = [&text] {
    if (text.starts_with('+') || text.starts_with('-')) {
      text.remove_prefix(1);
    }
    const std::size_t digits = std::min(text.find_first_not_of("0123456789"), text.size());
    text.remove_prefix(digits);
    return digits > 0;
  };
  if (!takeNumber() || !text.starts_with('.')) {
    return false;
  }
  text.remove_prefix(1);
  return takeNumber();
}

// Flushing after each line keeps the library's line visible even when asking the server hangs or
// crashes, and turns a failed write into an error we can still report.
bool PrintLine(const char* format, const CText& versionText, int versionNumber) {
  return std::printf(format, versionText.get(), versionNumber) >= 0 && std::fflush(stdout) == 0;
}

// libgpm reads the server's first line into a stack buffer that it never initialises, and parses
// that buffer even when the read got nothing, as it does when the server prints nothing. Its text
// is then made of whatever earlier calls (printf, signal) left there: a heap pointer, say, whose
// bytes change with each run's address layout and now and then fall into two words, the second of
// which libgpm takes for the version. Zeros there make that an empty text, every run.
// Called from main right before the query, this frame lies where libgpm's will: libgpm 1.20.7's
// frame reaches 208 bytes below the caller's stack pointer and its 128-byte buffer sits 192 to 64
// bytes below, while this array starts some 32 bytes below (past the return address and a saved
// word or two) and reaches 4 KiB further down, room for a library built another way. The address
// sanitizer stays out, as it would move the array off the stack or pad it with redzones;
// explicit_bzero, because the optimizer may drop plain stores to an array that is never read again.
// The query must follow with nothing in between that uses the stack, which is why mouseprobe is
// linked with -z now (no lazy binding on the way to libgpm).
[[gnu::noinline]] __attribute__((no_sanitize("address"))) void ZeroStackForServerQuery() {
  constexpr std::size_t kZeroedBytes = 4096;
  char stack[kZeroedBytes];
  explicit_bzero(stack, sizeof stack);
}

[[noreturn]] void ExitOnWriteError() {
  std::fprintf(stderr, "mouseprobe: write error: %s\n", std::strerror(errno));
  std::exit(EXIT_FAILURE);
}

}  // namespace

int main() {
  // A reader that goes away must show up as a reported write error, not as a silent death.
  std::signal(SIGPIPE, SIG_IGN);

  // Both queries share this number. A query that writes none leaves what stood before, so it starts
  // at 0 rather than at whatever the stack held.
  int versionNumber = 0;

  const char* libraryText = Gpm_GetLibVersion(&versionNumber);
  if (!PrintLine("lib: %s, %d\n", Shown(libraryText), versionNumber)) {
    ExitOnWriteError();
  }

  // The library asks the server by running it through a shell; an ignored SIGPIPE would be
  // inherited by that child, so it gets the default disposition back for the duration.
  std::signal(SIGPIPE, SIG_DFL);
  ZeroStackForServerQuery();  // last, so that no other call dirties the stack again
  const char* serverText = Gpm_GetServerVersion(&versionNumber);
  std::signal(SIGPIPE, SIG_IGN);

  // Without a text the server query writes no number either, and the shared number would still
  // hold the library's: printing it would pass the library's version off as the server's. An
  // answer with no version in it gives an empty text, or one that does not start with a version,
  // and a number the library never set.
  if (serverText == nullptr || !StartsWithVersion(serverText)) {
    versionNumber = 0;
  }
  if (!PrintLine("srv: %s, %d\n", Shown(serverText), versionNumber)) {
    ExitOnWriteError();
  }
  return EXIT_SUCCESS;
}
