// termgate-trace: runs Termgate's logic on the scripted host and prints every host call.
//
//   termgate-trace [--lang-file PATH] [--code-page N] [ACTION...]
//   termgate-trace --describe
//
// ACTIONs, in time order: next, accept, decline, accept-label, decline-label, button, ok, cancel,
// quit. See the README for the output format.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include "ansi_code_page.h"
#include "describe.h"
#include "scripted_host.h"
#include "wizard.h"

namespace {

using termgate::ControlName;
using termgate::Form;
namespace scripted = termgate::scripted;

constexpr std::string_view kUsage =
    "usage: termgate-trace [--lang-file PATH] [--code-page N] [ACTION...]\n"
    "       termgate-trace --describe\n"
    "  ACTION: next | accept | decline | accept-label | decline-label | button | ok | cancel |\n"
    "          quit\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "termgate-trace: %s\n%.*s", message.c_str(), static_cast<int>(kUsage.size()),
               kUsage.data());
  return 2;
}

// A file that exists but that this user cannot read stands for a language file that exists
// but cannot be opened.
std::optional<scripted::LanguageFile> LoadLanguageFile(const std::string& path,
                                                       std::string& problem) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    problem = "no regular file at " + path;
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return scripted::LanguageFile{.bytes = {}, .openable = false};
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return scripted::LanguageFile{.bytes = std::move(bytes).str(), .openable = true};
}

int Print(const std::string& out) {
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "termgate-trace: write error: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  scripted::Setup setup;
  std::vector<std::string_view> actions;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--lang-file" || arg == "--code-page") {
      if (i + 1 == argc) {
        return UsageError(std::string(arg) + " needs a value");
      }
      const std::string value = argv[++i];
      if (arg == "--lang-file") {
        std::string problem;
        setup.languageFile = LoadLanguageFile(value, problem);
        if (!setup.languageFile) {
          return UsageError(problem);
        }
      } else {
        char* end = nullptr;
        const unsigned long codePage = std::strtoul(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || codePage > 65535 ||
            !scripted::IsSupportedCodePage(static_cast<unsigned>(codePage))) {
          return UsageError("unsupported code page " + value);
        }
        setup.codePage = static_cast<unsigned>(codePage);
      }
    } else if (arg == "next" || arg == "accept" || arg == "decline" || arg == "accept-label" ||
               arg == "decline-label" || arg == "button" || arg == "ok" || arg == "cancel" ||
               arg == "quit") {
      actions.push_back(arg);
    } else if (arg == "--describe" && argc == 2) {
      return Print(scripted::DescribeProgram());
    } else if (arg == "--help" || arg == "-h") {
      std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
      return 0;
    } else {
      return UsageError("unknown argument " + std::string(arg));
    }
  }

  scripted::ScriptedHost host(std::move(setup));
  termgate::Wizard wizard(host);

  // Answers wait in a queue: each message box takes the first one left. A quit waits there too,
  // for the box open at its turn; with none open it ends the program where the actions stand.
  for (const std::string_view action : actions) {
    if (action == "ok") {
      host.QueueAnswer(termgate::kVbOk);
    } else if (action == "cancel") {
      host.QueueAnswer(termgate::kVbCancel);
    } else if (action == "quit") {
      host.QueueQuit();
    }
  }

  host.Start(wizard);
  for (const std::string_view action : actions) {
    if (!host.running()) {
      break;
    }
    if (action == "next") {
      host.ClickButton(Form::Form2);
    } else if (action == "accept") {
      host.SelectOption(ControlName::Option1);
    } else if (action == "decline") {
      host.SelectOption(ControlName::Option2);
    } else if (action == "accept-label") {
      host.ClickLabel(ControlName::Label2);
    } else if (action == "decline-label") {
      host.ClickLabel(ControlName::Label3);
    } else if (action == "button") {
      host.ClickButton(Form::Form3);
    } else if (action == "quit" && host.TakeQueuedQuit()) {
      host.TellToQuit();
    }
  }

  std::string out;
  for (const std::string& line : host.trace()) {
    out += line;
    out += '\n';
  }
  if (host.running()) {
    out += "host: no more actions; the program is still running\n";
  }
  return Print(out);
}
