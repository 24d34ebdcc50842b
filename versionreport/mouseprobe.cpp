// mouseprobe: prints the console mouse library's version and the mouse server's version.

#include <gpm.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

static_assert(sizeof(int) == 4, "libgpm hands back its version numbers as a 32-bit int");

constexpr const char* kMissingText = "unknown";

const char* TextOrPlaceholder(const char* version_text) {
  return version_text != nullptr ? version_text : kMissingText;
}

// Flushing after each line keeps the library's line visible even when asking the server hangs or
// crashes, and turns a failed write into an error we can still report.
bool PrintLine(const char* format, const char* version_text, int version_number) {
  return std::printf(format, version_text, version_number) >= 0 && std::fflush(stdout) == 0;
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
  int version_number = 0;

  const char* library_text = Gpm_GetLibVersion(&version_number);
  if (!PrintLine("lib: %s, %d\n", TextOrPlaceholder(library_text), version_number)) {
    ExitOnWriteError();
  }

  // The library asks the server by running it through a shell; an ignored SIGPIPE would be
  // inherited by that child, so it gets the default disposition back for the duration.
  std::signal(SIGPIPE, SIG_DFL);
  const char* server_text = Gpm_GetServerVersion(&version_number);
  std::signal(SIGPIPE, SIG_IGN);

  // Without a text the server query writes no number either, and the shared number would still
  // hold the library's: printing it would pass the library's version off as the server's.
  if (server_text == nullptr) {
    version_number = 0;
  }
  if (!PrintLine("srv: %s, %d\n", TextOrPlaceholder(server_text), version_number)) {
    ExitOnWriteError();
  }
  return EXIT_SUCCESS;
}
