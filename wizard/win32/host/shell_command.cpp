#include "shell_command.h"

#include <windows.h>

#include <optional>
#include <string>

#include "runtime_error.h"
#include "windows_helpers.h"
#include "windows_owners.h"
#include "wide_text.h"

namespace termgate::win32 {

namespace {

WORD ShowCommandOf(std::int16_t windowStyle) {
  switch (windowStyle) {
    case 0:
      return SW_HIDE;
    case 1:
      return SW_SHOWNORMAL;
    case 2:
      // Minimized, and meant to take the focus; but the only commands the wizard starts begin
      // at the confirmation's OK, just before the notice opens, and an active window of theirs
      // would take the person's key presses from the notice (and under Wine, once it closed,
      // leave no window active at all). They open minimized without taking the activation.
      return SW_SHOWMINNOACTIVE;
    case 3:
      return SW_SHOWMAXIMIZED;
    case 4:
      return SW_SHOWNOACTIVATE;
    case 6:
      return SW_SHOWMINNOACTIVE;
    default:
      throw runtime_errors::InvalidProcedureCall();
  }
}

}  // namespace

void StartCommandLine(TextView commandLine, std::int16_t windowStyle) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = ShowCommandOf(windowStyle);

  // The interpreter is named by its full path and started in the system directory, so neither
  // a cmd.exe nor a regsvr32.exe planted beside this program or in the current directory runs:
  // cmd looks in its current directory first. A 32-bit process on 64-bit Windows gets the 32-bit
  // interpreter through the file-system redirection of the system directory, which is also where
  // the 32-bit regsvr32 lives.
  const std::optional<std::wstring> found = SystemDirectory();
  if (!found) {
    throw runtime_errors::FileNotFound();
  }
  const std::wstring& system = *found;
  const std::wstring interpreter = system + L"\\cmd.exe";
  std::wstring line = Wide(commandLine);  // CreateProcessW may write into its command line

  PROCESS_INFORMATION started{};
  if (!CreateProcessW(interpreter.c_str(), line.data(), nullptr, nullptr, FALSE,
                      CREATE_DEFAULT_ERROR_MODE, nullptr, system.c_str(), &startup, &started)) {
    throw runtime_errors::FileNotFound();
  }
  const unique_handle process(started.hProcess);
  const unique_handle thread(started.hThread);
}

}  // namespace termgate::win32
