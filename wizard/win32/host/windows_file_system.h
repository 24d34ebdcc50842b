// The file-system object of the real host: the language file read with the Win32 file API and
// decoded from the system's ANSI code page, with the scripting object's errors.
#pragma once

#include <memory>

#include "host.h"

namespace termgate::win32 {

std::unique_ptr<FileSystemObject> CreateWindowsFileSystem();

}  // namespace termgate::win32
