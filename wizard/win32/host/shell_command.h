// Shell: starts a command line through the system's own command interpreter.
#pragma once

#include <cstdint>

#include "host.h"

namespace termgate::win32 {

// Starts `commandLine` with the command interpreter of the system directory, in the system
// directory, with the window state of VB's Shell `windowStyle`; waits for nothing and keeps no
// handle. The line is passed exactly as given. Throws run-time error 53 when nothing starts.
void StartCommandLine(TextView commandLine, std::int16_t windowStyle);

}  // namespace termgate::win32
