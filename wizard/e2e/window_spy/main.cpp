// window_spy.exe: watches and drives Termgate.exe's windows from another process, for the
// end-to-end tests. See README.md for the commands and their answers.
//
//   window_spy.exe serve              one command per line on stdin, one JSON line back for each
//   window_spy.exe COMMAND ARGS...    one command; exit status 0 when its answer is ok, else 1
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "target_windows.h"

namespace {

using termgate::window_spy::Reply;

std::string Utf8(std::wstring_view text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length,
                      nullptr, nullptr);
  return bytes;
}

std::wstring Wide(std::string_view utf8) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), length);
  return text;
}

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::size_t position = 0;
  while (position < line.size()) {
    const std::size_t start = line.find_first_not_of(" \t", position);
    if (start == std::string_view::npos) {
      break;
    }
    const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
    words.emplace_back(line.substr(start, end - start));
    position = end;
  }
  return words;
}

// Writes the line straight to the handle: there is no buffer in between to flush, so the harness
// sees each answer as soon as it is written. False when the reader has gone away.
bool WriteLine(const std::string& line) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  const std::string bytes = line + "\n";
  DWORD consoleMode = 0;
  if (GetConsoleMode(output, &consoleMode)) {
    // A console shows UTF-16 correctly whatever its code page.
    const std::wstring text = Wide(bytes);
    DWORD written = 0;
    return WriteConsoleW(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(output, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

class LineReader {
 public:
  explicit LineReader(HANDLE input) : input_(input) {}

  // The next line without its line break (LF or CR LF); false at the end of the input.
  bool Next(std::string& line) {
    for (;;) {
      if (const std::size_t end = buffer_.find('\n'); end != std::string::npos) {
        line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') {
          line.pop_back();
        }
        return true;
      }
      if (ended_) {
        if (buffer_.empty()) {
          return false;
        }
        line = std::move(buffer_);
        buffer_.clear();
        return true;
      }
      char chunk[4096];
      DWORD read = 0;
      // A closed pipe reports failure, a file its end as zero bytes: both are the end. Any
      // other failure is told on stderr, which the harness keeps, so that an observer that
      // vanishes mid-test leaves a reason behind.
      if (!ReadFile(input_, chunk, sizeof chunk, &read, nullptr)) {
        if (const DWORD error = GetLastError(); error != ERROR_BROKEN_PIPE) {
          failure_ = error;
        }
        ended_ = true;
      } else if (read == 0) {
        ended_ = true;
      } else {
        buffer_.append(chunk, read);
      }
    }
  }

  // The error that ended the input when it was not simply closed; 0 otherwise.
  DWORD Failure() const { return failure_; }

 private:
  HANDLE input_;
  std::string buffer_;
  bool ended_ = false;
  DWORD failure_ = 0;
};

int Serve() {
  LineReader input(GetStdHandle(STD_INPUT_HANDLE));
  std::string line;
  while (input.Next(line)) {
    const std::vector<std::string> words = Words(line);
    const Reply reply = termgate::window_spy::RunCommand(words);
    if (!WriteLine(termgate::window_spy::ReplyLine(reply))) {
      fwprintf(stderr, L"window_spy: the answer could not be written (error %lu)\n",
               GetLastError());
      return 1;
    }
    if (!words.empty() && words.front() == "quit") {
      return 0;
    }
  }
  if (input.Failure() != 0) {
    fwprintf(stderr, L"window_spy: reading a command failed (error %lu)\n", input.Failure());
    return 2;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  termgate::window_spy::BecomePerMonitorDpiAware();
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    words.push_back(Utf8(argv[i]));
  }
  if (words.size() == 1 && words.front() == "serve") {
    return Serve();
  }
  if (words.empty()) {
    WriteLine(R"({"ok":false,"error":"usage: window_spy serve | window_spy COMMAND ARGS..."})");
    return 1;
  }
  const Reply reply = termgate::window_spy::RunCommand(words);
  WriteLine(termgate::window_spy::ReplyLine(reply));
  return reply.ok ? 0 : 1;
}
