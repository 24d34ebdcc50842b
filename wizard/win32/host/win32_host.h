// The real host: the form run time on Win32. Windows and controls are built from the layout
// table, events come from the message loop, and every other operation is the Windows call it
// names.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "form_window.h"
#include "host.h"
#include "language_setting.h"
#include "run_record.h"
#include "runtime_error.h"

namespace termgate::win32 {

// Exit status of a run that was ended from outside (a quit message, the end of the session)
// rather than by the wizard's own End, which exits with 0; the default error handling exits with
// the error's number.
inline constexpr int kExitEndedFromOutside = 1;
// Exit status of a start while another Termgate runs in the same session: Windows' own code for
// ERROR_ALREADY_EXISTS, which fits the eight bits that Linux and some tools keep of a status.
inline constexpr int kExitAlreadyRunning = ERROR_ALREADY_EXISTS;

class Win32Host final : public Host, private FormWindow::Listener {
 public:
  Win32Host() = default;
  Win32Host(const Win32Host&) = delete;
  Win32Host& operator=(const Win32Host&) = delete;

  // Loads and shows the startup window, then runs the message loop. Never returns: the program
  // ends through End, the default error handling, or from outside. `language` is the program's,
  // for the run's record in the event log.
  [[noreturn]] void Run(EventSink& program, const LanguageSetting& language);

  void Show(Form form) override;
  void Hide(Form form) override;
  std::int32_t hWnd(Form form) override;
  void Caption(Control control, TextView caption) override;
  VbBool Value(Control control) override;
  void Value(Control control, VbBool value) override;
  void Visible(Control control, VbBool visible) override;
  void Enabled(Control control, VbBool enabled) override;
  void Navigate2(Control browser, TextView url) override;
  std::int32_t MsgBox(TextView prompt, std::int32_t buttons, TextView title) override;
  void Shell(TextView pathname, std::int16_t windowStyle) override;
  [[noreturn]] void End() override;
  Text AppPath() override;
  std::int32_t SetWindowPos(std::int32_t hWnd, std::int32_t hWndInsertAfter, std::int32_t x,
                            std::int32_t y, std::int32_t cx, std::int32_t cy,
                            std::int32_t wFlags) override;
  std::int32_t GetSystemMenu(std::int32_t hWnd, std::int32_t bRevert) override;
  std::int32_t RemoveMenu(std::int32_t hMenu, std::int32_t nPosition, std::int32_t wFlags) override;
  std::unique_ptr<FileSystemObject> CreateFileSystemObject() override;

 private:
  FormWindow& Loaded(Form form);
  HWND ControlWindow(Control control);
  // FormWindow::Listener. A click counts only when a person could have made it: no box is open
  // and the control is on screen and enabled. A label stands for the option it names.
  void Clicked(Form form, const ControlLayout& control) override;
  [[noreturn]] void SessionEnds() override;
  // The window's failure goes through the default error handling, as a handler's does.
  [[noreturn]] void Failed() override;
  // The session ends or a quit message came: the windows hear Form_QueryUnload (a confirmed
  // decline starts its commands there), then the program ends with kExitEndedFromOutside.
  [[noreturn]] void EndFromOutside(RunRecord::Outside how);
  // Runs an event that the user or the start raised; an error that leaves its handler ends the
  // program through the default error handling.
  void AtTopLevel(const std::function<void()>& dispatch);
  [[noreturn]] void DefaultErrorHandling(const RuntimeError& error);

  EventSink* program_ = nullptr;
  std::optional<RunRecord> record_;
  std::array<std::unique_ptr<FormWindow>, kFormCount> forms_;
  bool boxOpen_ = false;
};

}  // namespace termgate::win32
