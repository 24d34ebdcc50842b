// Termgate.exe: the terms-of-use wizard on the real Win32 host.
#include <windows.h>

#include "run_record.h"
#include "runtime_error.h"
#include "system_dpi.h"
#include "wide_text.h"
#include "windows_helpers.h"
#include "win32_host.h"
#include "windows_owners.h"
#include "wizard.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace termgate;
  win32::LoadLibrariesFromSystemDirectoryOnly();

  // One wizard per session: a second start (a RunOnce value and a scheduled task both left in
  // place, a double click) shows nothing and starts nothing. The name lives in the session's own
  // namespace, so that each user's session has its wizard. A mutex that cannot be made at all
  // does not keep the wizard from running.
  const win32::unique_handle oneInSession(CreateMutexW(nullptr, FALSE, L"Local\\Kelvarn.Termgate"));
  if (oneInSession && GetLastError() == ERROR_ALREADY_EXISTS) {
    win32::RunRecord::AlreadyRunning();
    return win32::kExitAlreadyRunning;
  }
  // The manifest asks for this already; the call covers a manifest that a loader ignored, and
  // fails harmlessly when the awareness is set.
  win32::SetDpiAwareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

  const win32::unique_oleuninitialize_call ole;
  if (FAILED(ole.result())) {
    const RuntimeError error = runtime_errors::CannotCreateObject();
    win32::RunRecord(nullptr).Failed(error);
    MessageBoxW(nullptr, win32::Wide(DefaultErrorReport(error)).c_str(),
                win32::Wide(kProgramTitle).c_str(), MB_OK | MB_ICONERROR);
    return error.number;
  }

  win32::Win32Host host;
  Wizard wizard(host);
  host.Run(wizard, wizard.language());
}
