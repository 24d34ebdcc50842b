// window_spy's commands: one line of words in, one JSON object out.
#pragma once

#include <string>
#include <vector>

#include "json_writer.h"

namespace termgate::window_spy {

struct Reply {
  bool ok = true;
  JsonObject fields;  // everything after "ok"; a failure's first member is "error"
};

// Runs one command (its name first). Never throws: every failure is a Reply.
Reply RunCommand(const std::vector<std::string>& words);

// The reply as one line of JSON, without the line break.
std::string ReplyLine(const Reply& reply);

}  // namespace termgate::window_spy
