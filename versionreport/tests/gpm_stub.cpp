// Stand-in for libgpm.so.2 that mouseprobe loads through LD_LIBRARY_PATH in the tests, so that the
// answers real libgpm never gives (no text, negative numbers, odd texts) can be produced on demand.
// GPM_STUB_MODE picks the answers. Including the real header makes the compiler hold these
// definitions to libgpm's own declarations.

#include <gpm.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Answer {
  const char* text;  // nullptr: the query returns no text
  bool writesNumber;
  int number;
};

struct Mode {
  const char* name;
  Answer library;
  Answer server;
  bool announcesServerQuery;  // writes a marker straight to fd 1 when the server is asked
};

// Both texts stay alive for the whole process, as libgpm's own texts do.
const std::string kLongText = [] {
  std::string text;
  for (int part = 0; text.size() < 70000; ++part) {
    text += std::to_string(part) + '.';
  }
  return text;
}();

const Mode kModes[] = {
    {"silent", {nullptr, false, 0}, {nullptr, false, 0}, false},
    {"library-number-without-text", {nullptr, true, 5}, {"1.20.7", true, 12007}, false},
    {"server-silent", {"2.1.0", true, 20100}, {nullptr, false, 0}, false},
    {"server-number-without-text", {"2.1.0", true, 20100}, {nullptr, true, 12007}, false},
    {"server-text-without-number", {"2.1.0", true, 20100}, {"1.20.7", false, 0}, false},
    {"negative", {"-2.1", true, -20100}, {"-0.0", true, INT_MIN}, false},
    {"format-directives", {"%s%d%n", true, 7}, {"100%", true, 8}, false},
    {"long", {kLongText.c_str(), true, INT_MAX}, {"", true, 1}, false},
    // Bytes that could steer a terminal, among text that may stay: ESC, DEL, a tab, the C1 control
    // U+009B in UTF-8, then é, € and a four-byte character; on the server's side bytes that are no
    // UTF-8: stray continuation bytes, an overlong form, a surrogate, a code point past U+10FFFF
    // and sequences cut short.
    {"control-bytes",
     {"2.1\x1b[31m\x7f\t\xc2\x9b\xc3\xa9\xe2\x82\xac\xf0\x9f\x90\xad", true, 20100},
     {"1.2\x80\xff\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe2\x82(\xf0\x9f\x90", true, 10200},
     false},
    {"announced", {"2.1.0", true, 20100}, {"1.20.7", true, 12007}, true},
};

const Mode& SelectedMode() {
  const char* wanted = std::getenv("GPM_STUB_MODE");
  for (const Mode& mode : kModes) {
    if (wanted != nullptr && std::strcmp(wanted, mode.name) == 0) {
      return mode;
    }
  }
  // A typo in a test must not pass for an answer.
  std::fprintf(stderr, "gpm stub: unknown GPM_STUB_MODE \"%s\"\n", wanted ? wanted : "(unset)");
  std::abort();
}

char* Give(const Answer& answer, int* where) {
  if (answer.writesNumber) {
    *where = answer.number;
  }
  return const_cast<char*>(answer.text);
}

}  // namespace

char* Gpm_GetLibVersion(int* where) {
  return Give(SelectedMode().library, where);
}

char* Gpm_GetServerVersion(int* where) {
  const Mode& mode = SelectedMode();
  if (mode.announcesServerQuery) {
    // Unbuffered, so it lands in the output exactly when the server is asked.
    static constexpr char kMarker[] = "[server asked]\n";
    if (write(STDOUT_FILENO, kMarker, sizeof kMarker - 1) < 0) {
      std::abort();
    }
  }
  return Give(mode.server, where);
}
