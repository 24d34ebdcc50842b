// termgate-trace as a user runs it: its arguments, exit statuses and the end of its output.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

struct ToolResult {
  int status;
  std::string out;
};

ToolResult RunTool(const std::string& arguments) {
  const std::string command = std::string(TERMGATE_TRACE_PATH) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return {-1, {}};
  }
  std::string out;
  char buffer[4096];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    out.append(buffer, count);
  }
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string WriteFile(const std::string& name, const std::string& bytes) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(TermgateTrace, ArgumentsExitStatusAndEnding) {
  const std::string de = WriteFile("de.ini", "DE\r\n");
  const std::string jp = WriteFile("jp.ini", "JP\r\n\x93\xaf\x88\xd3\r\n");
  struct Case {
    std::string arguments;
    int status;
    std::string expected;  // the output's end, or with `anywhere` a part of it
    bool anywhere = false;
  };
  const Case cases[] = {
      {"--lang-file " + de + " next decline button ok", 0,
       "  Shell \"cmd.exe /c regsvr32 /u /s \\\"%programfiles%\\\\quillon\\\\quillontoolbar1.dll"
       "\\\"\", 2\n"
       "  Shell \"cmd.exe /c regsvr32 /u /s \\\"%programfiles%\\\\quillon\\\\quillontoolbar2.dll"
       "\\\"\", 2\n"
       "  MsgBox \"Uninstalled Quillon Toolbar\", 0, \"\" -> 1 (OK)\n"
       "  End\nhost: the program has ended\n"},
      {"next accept", 0, "host: no more actions; the program is still running\n"},
      {"next decline button", 0,
       "host: no answer is queued for the message box; the run stops here\n"},
      {"--lang-file " + jp + " --code-page 932 next", 0,
       "    Form3.Label2.Caption = \"同意\"\n    Form3.Label3.Caption = \"\"\n", true},
      {"dance", 2, ""},
      {"--code-page 12345678", 2, ""},
      {"--lang-file /nonexistent/Lang.ini", 2, ""},
      {"--lang-file", 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ToolResult result = RunTool(c.arguments);
    EXPECT_EQ(result.status, c.status);
    if (c.status == 0) {
      EXPECT_TRUE(c.anywhere ? result.out.find(c.expected) != std::string::npos
                             : EndsWith(result.out, c.expected))
          << result.out;
    } else {
      EXPECT_NE(result.out.find("usage: termgate-trace"), std::string::npos) << result.out;
    }
  }
}

}  // namespace
