// The system's ANSI code page as the scripted host plays it: the decoding that Windows'
// MultiByteToWideChar does for the code page the machine is set to.
#pragma once

#include <string_view>

#include "host.h"

namespace termgate::scripted {

// 1252 (Western), 932 (Japanese), 65001 (UTF-8) and any other "CPnnn" the C library knows.
bool IsSupportedCodePage(unsigned codePage);

// Valid input decodes as on Windows. An invalid byte becomes U+FFFD, except the five bytes
// that code page 1252 leaves undefined, which Windows passes through as U+0081 and so on.
Text DecodeAnsi(unsigned codePage, std::string_view bytes);

}  // namespace termgate::scripted
