// A host that plays the Windows form run time from a script: it records every host operation
// with all its arguments in call order, answers message boxes from a queue, and lets a test act
// as the user would. The record is the trace that tests compare and termgate-trace prints.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string_view>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host.h"
#include "runtime_error.h"

namespace termgate::scripted {

struct LanguageFile {
  std::string bytes;
  bool openable = true;  // false: it exists but cannot be opened for reading
};

struct Setup {
  std::optional<LanguageFile> languageFile;  // nullopt: no file at the path
  unsigned codePage = 1252;                  // the system's ANSI code page
  Text appPath = u"C:\\Program Files\\Kelvarn\\Termgate";
};

enum class RunState {
  NotStarted,
  Running,
  Ended,             // by End
  EndedByError,      // by the default error handling
  EndedFromOutside,  // told to quit (the session ended, or a quit message): exit status 1
  WaitingForAnswer,  // a message box found no answer queued
};

struct ControlState {
  Text caption;
  VbBool value = kFalse;
  bool visible = true;
  bool enabled = true;
};

class ScriptedHost final : public Host {
 public:
  explicit ScriptedHost(Setup setup);

  // Loads the startup window Form2, which raises its Form_Load, then shows it.
  void Start(EventSink& program);

  // The user. Each action does only what a user could: it reaches a control only on a window
  // that is on screen, and only while the control is visible and enabled.
  void ClickButton(Form form);
  void SelectOption(ControlName option);
  // A click on the words beside an option: it chooses that option, as a click on it does.
  void ClickLabel(ControlName label);
  // The answer the next message box that offers a choice gets (1 OK, 2 Cancel). A box with
  // OK alone is answered OK without one.
  void QueueAnswer(std::int32_t answer);
  // The program is told to quit while the next message box is open; a box with OK alone takes
  // this from the front of the queue too.
  void QueueQuit();
  // Takes a quit from the front of the queue, if one is there and no box has taken it.
  bool TakeQueuedQuit();

  // The program is told to quit (the session ends, or another program asks) while no box is
  // open: the windows hear Form_QueryUnload, then the program ends with status 1.
  void TellToQuit();

  // Raises a handler directly, whatever the screen shows.
  void RaiseEvent(Form form, Handler handler);

  // Makes every later call of `operation` fail with `error`. `operation` is the call's name as
  // the trace writes it before its arguments: "Form3.WebBrowser2.Navigate2", "SetWindowPos".
  void FailOperation(std::string operation, RuntimeError error);

  RunState state() const { return state_; }
  bool running() const { return state_ == RunState::Running; }
  const std::optional<RuntimeError>& fatalError() const { return fatalError_; }
  const std::vector<std::string>& trace() const { return trace_; }
  std::size_t unusedAnswers() const { return answers_.size(); }

  bool IsLoaded(Form form) const { return window(form).loaded; }
  bool IsVisible(Form form) const { return window(form).visible; }
  bool IsTopmost(Form form) const { return window(form).topmost; }
  bool HasCloseCommand(Form form) const { return window(form).closeCommand; }
  const ControlState& StateOf(Control control) const;

  // Host
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
  struct Window {
    bool loaded = false;
    bool visible = false;
    bool topmost = false;
    bool closeCommand = false;
    std::map<ControlName, ControlState> controls;
  };
  class FileSystem;
  class Stream;

  Window& window(Form form) { return windows_[IndexOf(form)]; }
  const Window& window(Form form) const { return windows_[IndexOf(form)]; }
  ControlState& state(Control control);
  // Records a property write or method call on a control (after any arranged failure) and
  // returns the control's state for the caller to change.
  ControlState& Write(Control control, std::string_view member, const std::string& argument);
  std::optional<Form> WindowOfHandle(std::int32_t handle) const;
  bool LanguageFileAt(TextView path) const;

  void EnsureLoaded(Form form);
  void RaiseNested(Form form, Handler handler);
  // Runs an event the user or the host starts. An error that leaves its handler goes to the
  // default error handling, which reports it and ends the program.
  void AtTopLevel(const std::function<void()>& dispatch);
  bool Reachable(Control control);
  void SelectAndRaise(Control option);
  void Choose(Control option);
  [[noreturn]] void EndFromOutside();

  void Emit(std::string line);
  void EmitUser(std::string line);
  // Records the call and throws the error a test arranged for it, if any.
  void FailIfArranged(const std::string& operation, const std::string& line);

  Setup setup_;
  EventSink* program_ = nullptr;
  RunState state_ = RunState::NotStarted;
  std::optional<RuntimeError> fatalError_;
  std::array<Window, kFormCount> windows_;
  std::deque<std::optional<std::int32_t>> answers_;  // nullopt: told to quit
  std::map<std::string, RuntimeError> failures_;
  std::vector<std::string> trace_;
  int depth_ = 0;
};

}  // namespace termgate::scripted
