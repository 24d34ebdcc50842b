// How texts appear in a trace: in double quotes, with \" \\ \r \n escaped and every other
// character written as UTF-8.
#pragma once

#include <string>

#include "host.h"

namespace termgate::scripted {

std::string ToUtf8(TextView text);
std::string Quoted(TextView text);
// A JSON string: as Quoted, with every other control character written as \u00XX.
std::string JsonQuoted(TextView text);

}  // namespace termgate::scripted
