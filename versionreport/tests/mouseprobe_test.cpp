// Runs the built mouseprobe as a child process against the real libgpm, without a server binary or
// with a stand-in server, against a stub libgpm, and with an unwritable standard output, and checks
// what it prints on each stream and how it exits; then once more under valgrind, where installed.

#include <gpm.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kServerBinary = "/usr/sbin/gpm";

// ---------------------------------------------------------------------------------------------
// Spawning the program

enum class StdoutTarget { Captured, DevFull, ClosedPipe };

struct ChildResult {
  std::string stdoutText;
  std::string stderrText;
  int exitStatus = -1;  // -1 when the child did not exit normally
  int signalNumber = 0;
};

class Pipe {
 public:
  Pipe() {
    if (pipe2(ends_.data(), O_CLOEXEC) != 0) {
      throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
    }
  }
  ~Pipe() {
    CloseReadEnd();
    CloseWriteEnd();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  int readEnd() const { return ends_[0]; }
  int writeEnd() const { return ends_[1]; }
  void CloseReadEnd() { Close(ends_[0]); }
  void CloseWriteEnd() { Close(ends_[1]); }

 private:
  static void Close(int& fd) {
    if (fd >= 0) {
      close(fd);
      fd = -1;
    }
  }
  std::array<int, 2> ends_{-1, -1};
};

// Reads both pipes together, so a child that fills one while we wait on the other cannot stall.
void Drain(Pipe& out, Pipe* stdoutPipe, std::string& stdoutText, std::string& stderrText) {
  std::vector<pollfd> watched{{out.readEnd(), POLLIN, 0}};
  if (stdoutPipe != nullptr) {
    watched.push_back({stdoutPipe->readEnd(), POLLIN, 0});
  }
  while (!watched.empty()) {
    if (poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
    }
    for (auto it = watched.begin(); it != watched.end();) {
      if (it->revents == 0) {
        ++it;
        continue;
      }
      std::array<char, 4096> buffer{};
      const ssize_t got = read(it->fd, buffer.data(), buffer.size());
      if (got > 0) {
        std::string& sink = it->fd == out.readEnd() ? stderrText : stdoutText;
        sink.append(buffer.data(), static_cast<std::size_t>(got));
        ++it;
      } else {
        it = watched.erase(it);
      }
    }
  }
}

ChildResult Spawn(const std::vector<std::string>& argv,
                  const std::vector<std::string>& extraEnvironment, StdoutTarget stdoutTarget) {
  // The dynamic loader takes the last of duplicate entries and getenv the first, so inherited
  // entries that the caller sets are dropped rather than shadowed.
  const auto setByCaller = [&extraEnvironment](std::string_view entry) {
    const std::string_view name = entry.substr(0, entry.find('=') + 1);
    for (const std::string& extra : extraEnvironment) {
      if (extra.starts_with(name)) {
        return true;
      }
    }
    return false;
  };
  std::vector<std::string> environment(extraEnvironment);
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!setByCaller(*entry)) {
      environment.emplace_back(*entry);
    }
  }
  std::vector<char*> argvPointers;
  for (const std::string& argument : argv) {
    argvPointers.push_back(const_cast<char*>(argument.c_str()));
  }
  argvPointers.push_back(nullptr);
  std::vector<char*> environmentPointers;
  for (const std::string& entry : environment) {
    environmentPointers.push_back(const_cast<char*>(entry.c_str()));
  }
  environmentPointers.push_back(nullptr);

  Pipe stderrPipe;
  Pipe stdoutPipe;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, stderrPipe.writeEnd(), STDERR_FILENO);
  if (stdoutTarget == StdoutTarget::DevFull) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
  } else {
    posix_spawn_file_actions_adddup2(&actions, stdoutPipe.writeEnd(), STDOUT_FILENO);
  }
  if (stdoutTarget == StdoutTarget::ClosedPipe) {
    stdoutPipe.CloseReadEnd();  // nobody will ever read: the first write fails with EPIPE
  }

  // The child must start with SIGPIPE at its default, whatever the test runner inherited, or an
  // unhandled broken pipe could not be told from a handled one.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaulted;
  sigemptyset(&defaulted);
  sigaddset(&defaulted, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaulted);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  pid_t child = 0;
  const int spawnError = posix_spawnp(&child, argvPointers[0], &actions, &attributes,
                                      argvPointers.data(), environmentPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawnError != 0) {
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(spawnError));
  }

  stderrPipe.CloseWriteEnd();
  stdoutPipe.CloseWriteEnd();
  ChildResult result;
  const bool stdoutCaptured = stdoutTarget == StdoutTarget::Captured;
  Drain(stderrPipe, stdoutCaptured ? &stdoutPipe : nullptr, result.stdoutText, result.stderrText);

  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
    }
  }
  if (WIFEXITED(status)) {
    result.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signalNumber = WTERMSIG(status);
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// What the real library answers, asked from this process

std::string Line(const char* label, const char* text, int number) {
  return std::string(label) + ": " + text + ", " + std::to_string(number) + "\n";
}

std::string RealLibraryLine() {
  int number = 0;
  const char* text = Gpm_GetLibVersion(&number);
  if (text == nullptr) {
    throw std::runtime_error("the installed libgpm gives no version text of its own");
  }
  return Line("lib", text, number);
}

std::string RealServerLine() {
  int number = 0;
  const char* text = Gpm_GetServerVersion(&number);
  if (text == nullptr) {
    throw std::runtime_error(std::string("libgpm got no version out of ") + kServerBinary + " -v");
  }
  return Line("srv", text, number);
}

// ---------------------------------------------------------------------------------------------
// The table

// ServerReplacedOnDirtyStack: the same with the stack dirtied right before the server query (see
// stack_dirtier.cpp).
enum class Setup { RealLibrary, ServerReplaced, ServerReplacedOnDirtyStack, StubLibrary };

struct Case {
  std::string name;
  Setup setup;
  // ServerReplaced(OnDirtyStack): the shell commands of the stand-in /usr/sbin/gpm, empty for none
  // at all. StubLibrary: the stub's mode.
  std::string setupArgument;
  std::vector<std::string> arguments;
  StdoutTarget stdoutTarget;
  std::function<std::string()> expectedStdout;  // ignored unless stdout is captured
  std::optional<std::string> expectedStderr;    // nullopt: stderr belongs to someone else
  int expectedExitStatus;
};

// Names the case in test listings instead of a byte dump.
void PrintTo(const Case& testCase, std::ostream* out) {
  *out << testCase.name;
}

std::string WriteErrorMessage(int error) {
  return std::string("mouseprobe: write error: ") + std::strerror(error) + "\n";
}

Case Stubbed(std::string mode, std::string expectedStdout) {
  return {mode,
          Setup::StubLibrary,
          mode,
          {},
          StdoutTarget::Captured,
          [expectedStdout] { return expectedStdout; },
          "",
          0};
}

Case Replaced(std::string name, std::string serverCommands, std::string expectedServerLine) {
  return {name,
          Setup::ServerReplaced,
          serverCommands,
          {},
          StdoutTarget::Captured,
          [expectedServerLine] { return RealLibraryLine() + expectedServerLine; },
          "",
          0};
}

std::string StubLongText() {
  std::string text;
  for (int part = 0; text.size() < 70000; ++part) {
    text += std::to_string(part) + '.';
  }
  return text;
}

std::vector<Case> Cases() {
  const auto realLines = [] { return RealLibraryLine() + RealServerLine(); };
  return {
      {"real_library", Setup::RealLibrary, "", {}, StdoutTarget::Captured, realLines, "", 0},
      {"real_library_with_arguments",
       Setup::RealLibrary,
       "",
       {"-v", "--help", "", "srv: %s %n"},
       StdoutTarget::Captured,
       realLines,
       "",
       0},
      // The shell that libgpm starts complains on stderr about the missing binary; that is not
      // mouseprobe's to control.
      {"no_server_binary",
       Setup::ServerReplaced,
       "",
       {},
       StdoutTarget::Captured,
       [] { return RealLibraryLine() + "srv: unknown, 0\n"; },
       std::nullopt,
       0},
      // libgpm keeps the second word of the answer's first line, less its last byte, in a 16-byte
      // buffer (longer words overrun it), and reads the number out of that text. An empty answer
      // leaves it parsing a buffer it never filled.
      Replaced("server_prints_nothing", "true", "srv: unknown, 0\n"),
      // Left to chance, the stack mostly holds bytes that make libgpm's parse fail, so the case
      // above passes most of the time even when mouseprobe leaves the stack as it is.
      {"server_prints_nothing_on_dirty_stack",
       Setup::ServerReplacedOnDirtyStack,
       "true",
       {},
       StdoutTarget::Captured,
       [] { return RealLibraryLine() + "srv: unknown, 0\n"; },
       "",
       0},
      Replaced("server_prints_garbage", R"(printf 'gpm\377\001 x\001\177\303\251\377y\n')",
               "srv: x\\x01\\x7f\xc3\xa9\\xff, 0\n"),
      Replaced("server_prints_escape_sequences", R"(printf 'gpm 1.20\033[2J\033]0;x\007,\n')",
               R"(srv: 1.20\x1b[2J\x1b]0;x\x07, 12000)"
               "\n"),
      Replaced("server_prints_backslashes", R"(printf 'gpm 1.20\\x1b\\,\n')",
               R"(srv: 1.20\\x1b\\, 12000)"
               "\n"),

      Stubbed("silent", "lib: unknown, 0\nsrv: unknown, 0\n"),
      Stubbed("library-number-without-text", "lib: unknown, 5\nsrv: 1.20.7, 12007\n"),
      Stubbed("server-silent", "lib: 2.1.0, 20100\nsrv: unknown, 0\n"),
      Stubbed("server-number-without-text", "lib: 2.1.0, 20100\nsrv: unknown, 0\n"),
      // Both queries share one number: a server that writes none shows the library's.
      Stubbed("server-text-without-number", "lib: 2.1.0, 20100\nsrv: 1.20.7, 20100\n"),
      Stubbed("negative", "lib: -2.1, -20100\nsrv: -0.0, -2147483648\n"),
      // A server text that does not start with a version has no number of its own.
      Stubbed("format-directives", "lib: %s%d%n, 7\nsrv: 100%, 0\n"),
      Stubbed("long", "lib: " + StubLongText() + ", 2147483647\nsrv: unknown, 0\n"),
      Stubbed("control-bytes",
              R"(lib: 2.1\x1b[31m\x7f\x09\xc2\x9b)"
              "\xc3\xa9\xe2\x82\xac\xf0\x9f\x90\xad, 20100\n"
              R"(srv: 1.2\x80\xff\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe2\x82(\xf0\x9f\x90, 10200)"
              "\n"),
      // The first line must be out before the server is asked, even into a pipe.
      Stubbed("announced", "lib: 2.1.0, 20100\n[server asked]\nsrv: 1.20.7, 12007\n"),

      {"stdout_to_dev_full",
       Setup::RealLibrary,
       "",
       {},
       StdoutTarget::DevFull,
       nullptr,
       WriteErrorMessage(ENOSPC),
       1},
      {"stdout_to_closed_pipe",
       Setup::RealLibrary,
       "",
       {},
       StdoutTarget::ClosedPipe,
       nullptr,
       WriteErrorMessage(EPIPE),
       1},
  };
}

std::string TestName(const testing::TestParamInfo<Case>& info) {
  std::string name = info.param.name;
  for (char& c : name) {
    if (c == '-') {
      c = '_';
    }
  }
  return name;
}

// Hides /usr/sbin behind an empty tmpfs in a private mount namespace, puts the stand-in server
// there when $1 holds its commands, then runs the rest of the arguments.
const char* const kReplaceServerScript =
    "set -e\n"
    "mount -t tmpfs mouseprobe-test /usr/sbin\n"
    "test ! -e /usr/sbin/gpm\n"
    "if [ -n \"$1\" ]; then\n"
    "  printf '#!/bin/sh\\n%s\\n' \"$1\" >/usr/sbin/gpm\n"
    "  chmod +x /usr/sbin/gpm\n"
    "fi\n"
    "shift\n"
    "exec \"$@\"";

// Runs one case with `wrapper` (a program and its options) in front of mouseprobe.
void RunCase(const Case& testCase, const std::vector<std::string>& wrapper) {
  std::vector<std::string> argv(wrapper);
  argv.emplace_back(MOUSEPROBE_PATH);
  std::vector<std::string> environment;

  switch (testCase.setup) {
    case Setup::RealLibrary:
      // Only a captured output reaches the server's line; the write failures stop before it.
      if (testCase.stdoutTarget == StdoutTarget::Captured && access(kServerBinary, X_OK) != 0) {
        GTEST_SKIP() << kServerBinary << " is not installed (package gpm)";
      }
      break;
    case Setup::ServerReplaced:
    case Setup::ServerReplacedOnDirtyStack: {
      const std::vector<std::string> hideOnly{
          "unshare", "-m", "--", "sh", "-c", kReplaceServerScript, "sh", "", "true"};
      ChildResult probe;
      try {
        probe = Spawn(hideOnly, {}, StdoutTarget::Captured);
      } catch (const std::exception& error) {
        GTEST_SKIP() << "cannot hide /usr/sbin: " << error.what();
      }
      if (probe.exitStatus != 0) {
        GTEST_SKIP() << "cannot hide /usr/sbin in a private mount namespace (this needs root or "
                        "CAP_SYS_ADMIN): "
                     << probe.stderrText;
      }
      argv.insert(argv.begin(), {"unshare", "-m", "--", "sh", "-c", kReplaceServerScript, "sh",
                                 testCase.setupArgument});
      if (testCase.setup == Setup::ServerReplacedOnDirtyStack) {
        environment.push_back(std::string("LD_PRELOAD=") + STACK_DIRTIER_PATH);
      }
      break;
    }
    case Setup::StubLibrary:
      environment.push_back(std::string("LD_LIBRARY_PATH=") + GPM_STUB_DIR);
      environment.push_back("GPM_STUB_MODE=" + testCase.setupArgument);
      break;
  }
  argv.insert(argv.end(), testCase.arguments.begin(), testCase.arguments.end());

  const ChildResult outcome = Spawn(argv, environment, testCase.stdoutTarget);

  ASSERT_EQ(outcome.signalNumber, 0)
      << "killed by " << strsignal(outcome.signalNumber) << "; stderr: " << outcome.stderrText;
  EXPECT_EQ(outcome.exitStatus, testCase.expectedExitStatus) << "stderr: " << outcome.stderrText;
  if (testCase.stdoutTarget == StdoutTarget::Captured) {
    EXPECT_EQ(outcome.stdoutText, testCase.expectedStdout());
  }
  if (testCase.expectedStderr) {
    EXPECT_EQ(outcome.stderrText, *testCase.expectedStderr);
  }
}

class MouseprobeTest : public testing::TestWithParam<Case> {};

TEST_P(MouseprobeTest, PrintsAndExitsAsExpected) {
  RunCase(GetParam(), {});
}

INSTANTIATE_TEST_SUITE_P(Runs, MouseprobeTest, testing::ValuesIn(Cases()), TestName);

#ifdef MOUSEPROBE_VALGRIND
// The same table under valgrind: mouseprobe must print the same without reading anything
// uninitialised. What libgpm itself reads uninitialised is suppressed (see libgpm.supp).
class MouseprobeUnderValgrindTest : public testing::TestWithParam<Case> {};

TEST_P(MouseprobeUnderValgrindTest, PrintsAndExitsAsExpected) {
  if (access(MOUSEPROBE_VALGRIND, X_OK) != 0) {
    GTEST_SKIP() << "valgrind is not installed";
  }
  RunCase(GetParam(), {MOUSEPROBE_VALGRIND, "-q", "--error-exitcode=99",
                       "--suppressions=" VALGRIND_SUPPRESSIONS});
}

INSTANTIATE_TEST_SUITE_P(Runs, MouseprobeUnderValgrindTest, testing::ValuesIn(Cases()), TestName);
#endif

}  // namespace
