// Termgate.exe: the terms-of-use wizard on the real Win32 host.
#include <windows.h>

#include "dpi.h"
#include "ole_scope.h"
#include "runtime_error.h"
#include "wide_text.h"
#include "win32_host.h"
#include "wizard.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Libraries load from the system directory only, so a DLL planted beside the program is never
  // picked up.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  termgate::win32::BecomePerMonitorDpiAware();

  const termgate::win32::OleScope ole;
  if (FAILED(ole.result())) {
    const termgate::RuntimeError error = termgate::runtime_errors::CannotCreateObject();
    MessageBoxW(nullptr, termgate::win32::Wide(termgate::DefaultErrorReport(error)).c_str(),
                L"Termgate", MB_OK | MB_ICONERROR);
    return error.number;
  }

  termgate::win32::Win32Host host;
  termgate::Wizard wizard(host);
  return host.Run(wizard);
}
