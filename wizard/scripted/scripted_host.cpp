#include "scripted_host.h"

#include <new>
#include <utility>

#include "ansi_code_page.h"
#include "ansi_line_reader.h"
#include "language_setting.h"
#include "layouts.h"
#include "module1.h"
#include "trace_text.h"

namespace termgate::scripted {

namespace {

// Handles as the run time would hand them out: fixed, so traces compare. Windows are 1001,
// 1002, ... in the order of kForms; a window's system menu is its handle plus 1000.
constexpr std::int32_t HandleOf(Form form) {
  return 1001 + static_cast<std::int32_t>(IndexOf(form));
}
constexpr std::int32_t SystemMenuOf(Form form) {
  return HandleOf(form) + 1000;
}

// Thrown past the program's handlers, which catch nothing, to the top-level dispatch.
struct ProgramEnded {};
struct ProgramEndedFromOutside {};
struct NoAnswerQueued {};

std::string Name(Form form) {
  return ToUtf8(NameOf(form));
}
std::string Name(Control control) {
  return Name(control.form) + "." + ToUtf8(NameOf(control.name));
}
std::string Name(Form form, Handler handler) {
  return Name(form) + "." + ToUtf8(NameOf(handler));
}

std::string Bool(VbBool value) {
  if (value == kTrue) {
    return "True";
  }
  if (value == kFalse) {
    return "False";
  }
  return std::to_string(value);
}

std::string Describe(const RuntimeError& error) {
  return "run-time error " + std::to_string(error.number) + " " + Quoted(error.description);
}

std::string Answer(std::int32_t answer) {
  const char* name = answer == kVbOk ? " (OK)" : answer == kVbCancel ? " (Cancel)" : "";
  return std::to_string(answer) + name;
}

char16_t FoldCase(char16_t c) {
  return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
}

// Windows compares file paths without regard to case.
bool SamePath(TextView a, TextView b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) {
      return false;
    }
  }
  return true;
}

class MemoryBytes final : public ByteSource {
 public:
  explicit MemoryBytes(std::string bytes) : bytes_(std::move(bytes)) {}
  std::size_t Read(std::span<char> buffer) override {
    const std::size_t count = std::min(buffer.size(), bytes_.size() - offset_);
    bytes_.copy(buffer.data(), count, offset_);
    offset_ += count;
    return count;
  }

 private:
  std::string bytes_;
  std::size_t offset_ = 0;
};

}  // namespace

class ScriptedHost::Stream final : public TextStream {
 public:
  Stream(ScriptedHost& host, std::string bytes)
      : host_(host),
        bytes_(std::move(bytes)),
        lines_(bytes_, [codePage = host.setup_.codePage](std::string_view line) {
          return DecodeAnsi(codePage, line);
        }) {}

  Text ReadLine() override {
    host_.FailIfArranged("ReadLine", "ReadLine");
    try {
      Text line = lines_.ReadLine();
      host_.Emit("ReadLine -> " + Quoted(line));
      return line;
    } catch (const RuntimeError& error) {
      host_.Emit("ReadLine -> " + Describe(error));
      throw;
    }
  }

  VbBool AtEndOfStream() override {
    host_.FailIfArranged("AtEndOfStream", "AtEndOfStream");
    const VbBool atEnd = lines_.AtEnd() ? kTrue : kFalse;
    host_.Emit("AtEndOfStream -> " + Bool(atEnd));
    return atEnd;
  }

  void Close() override {
    host_.FailIfArranged("Close", "Close");
    host_.Emit("Close");
  }

 private:
  ScriptedHost& host_;
  MemoryBytes bytes_;
  AnsiLineReader lines_;
};

class ScriptedHost::FileSystem final : public FileSystemObject {
 public:
  explicit FileSystem(ScriptedHost& host) : host_(host) {}

  VbBool FileExists(TextView path) override {
    const std::string line = "FileExists " + Quoted(path);
    host_.FailIfArranged("FileExists", line);
    const VbBool exists = host_.LanguageFileAt(path) ? kTrue : kFalse;
    host_.Emit(line + " -> " + Bool(exists));
    return exists;
  }

  std::unique_ptr<TextStream> OpenTextFile(TextView path, std::int16_t ioMode) override {
    const std::string line = "OpenTextFile " + Quoted(path) + ", " + std::to_string(ioMode);
    host_.FailIfArranged("OpenTextFile", line);
    std::optional<RuntimeError> error;
    if (!host_.LanguageFileAt(path)) {
      error = runtime_errors::FileNotFound();
    } else if (ioMode != kForReading) {
      error = runtime_errors::InvalidProcedureCall();
    } else if (!host_.setup_.languageFile->openable) {
      error = runtime_errors::PermissionDenied();
    }
    if (error) {
      host_.Emit(line + " -> " + Describe(*error));
      throw *error;
    }
    host_.Emit(line);
    return std::make_unique<Stream>(host_, host_.setup_.languageFile->bytes);
  }

 private:
  ScriptedHost& host_;
};

ScriptedHost::ScriptedHost(Setup setup) : setup_(std::move(setup)) {}

void ScriptedHost::Start(EventSink& program) {
  program_ = &program;
  state_ = RunState::Running;
  const Form startup = kStartupForm;
  AtTopLevel([&] { EnsureLoaded(startup); });
  if (running()) {
    window(startup).visible = true;
    Emit("host: " + Name(startup) + " is shown");
  }
}

bool ScriptedHost::Reachable(Control control) {
  if (!window(control.form).visible || !state(control).visible || !state(control).enabled) {
    Emit("host: " + Name(control) + " is not on screen or not enabled; nothing happens");
    return false;
  }
  return true;
}

void ScriptedHost::ClickButton(Form form) {
  const Control button{form, ControlName::Command1};
  EmitUser("clicks " + Name(button));
  if (!running() || !Reachable(button)) {
    return;
  }
  if (const auto handler = BoundHandler(form, button.name, Event::Click)) {
    AtTopLevel([&] { RaiseNested(form, *handler); });
  }
}

void ScriptedHost::SelectOption(ControlName option) {
  const Control target{Form::Form3, option};
  EmitUser("selects " + Name(target));
  if (running() && Reachable(target)) {
    Choose(target);
  }
}

void ScriptedHost::ClickLabel(ControlName label) {
  const Control target{Form::Form3, label};
  EmitUser("clicks " + Name(target));
  if (!running() || !Reachable(target)) {
    return;
  }
  if (const ControlLayout* option = ControlLabelledBy(target.form, label);
      option != nullptr && Reachable({target.form, option->name})) {
    Choose({target.form, option->name});
  }
}

void ScriptedHost::Choose(Control option) {
  if (state(option).value == kTrue) {
    Emit("host: " + Name(option) + " is already selected; nothing happens");
    return;
  }
  AtTopLevel([&] { SelectAndRaise(option); });
}

void ScriptedHost::QueueAnswer(std::int32_t answer) {
  answers_.emplace_back(answer);
}

void ScriptedHost::QueueQuit() {
  answers_.emplace_back(std::nullopt);
}

bool ScriptedHost::TakeQueuedQuit() {
  if (answers_.empty() || answers_.front().has_value()) {
    return false;
  }
  answers_.pop_front();
  return true;
}

void ScriptedHost::TellToQuit() {
  Emit("host: the program is told to quit");
  if (running()) {
    AtTopLevel([this] { EndFromOutside(); });
  }
}

void ScriptedHost::EndFromOutside() {
  for (const Form form : kForms) {
    if (const auto handler = BoundHandler(form, std::nullopt, Event::QueryUnload);
        handler && window(form).loaded) {
      RaiseNested(form, *handler);
    }
  }
  throw ProgramEndedFromOutside{};
}

void ScriptedHost::RaiseEvent(Form form, Handler handler) {
  Emit("host: raises " + Name(form, handler));
  if (running()) {
    AtTopLevel([&] { RaiseNested(form, handler); });
  }
}

void ScriptedHost::FailOperation(std::string operation, RuntimeError error) {
  failures_.insert_or_assign(std::move(operation), std::move(error));
}

const ControlState& ScriptedHost::StateOf(Control control) const {
  static const ControlState kNotCreated{};
  const Window& w = window(control.form);
  const auto it = w.controls.find(control.name);
  return it == w.controls.end() ? kNotCreated : it->second;
}

ControlState& ScriptedHost::state(Control control) {
  EnsureLoaded(control.form);
  return window(control.form).controls.at(control.name);
}

std::optional<Form> ScriptedHost::WindowOfHandle(std::int32_t handle) const {
  for (const Form form : kForms) {
    if (window(form).loaded && HandleOf(form) == handle) {
      return form;
    }
  }
  return std::nullopt;
}

bool ScriptedHost::LanguageFileAt(TextView path) const {
  return setup_.languageFile.has_value() && SamePath(path, kLanguageFilePath);
}

void ScriptedHost::EnsureLoaded(Form form) {
  Window& w = window(form);
  if (w.loaded) {
    return;
  }
  const WindowLayout& layout = LayoutOf(form);
  for (const ControlLayout& control : layout.controls) {
    w.controls[control.name] = ControlState{.caption = Text(control.caption),
                                            .value = kFalse,
                                            .visible = control.visible,
                                            .enabled = control.enabled};
  }
  w.closeCommand = layout.controlBox;
  // Loaded before Form_Load runs, so the handler's own references do not load it again.
  w.loaded = true;
  if (const auto handler = BoundHandler(form, std::nullopt, Event::Load)) {
    RaiseNested(form, *handler);
  }
}

void ScriptedHost::RaiseNested(Form form, Handler handler) {
  const std::string name = Name(form, handler);
  Emit("> " + name);
  ++depth_;
  program_->Raise(form, handler);
  --depth_;
  Emit("< " + name);
}

void ScriptedHost::AtTopLevel(const std::function<void()>& dispatch) {
  std::optional<RuntimeError> error;
  try {
    dispatch();
  } catch (const RuntimeError& raised) {
    error = raised;
  } catch (const std::bad_alloc&) {
    error = runtime_errors::OutOfMemory();
  } catch (const ProgramEnded&) {
    state_ = RunState::Ended;
  } catch (const ProgramEndedFromOutside&) {
    state_ = RunState::EndedFromOutside;
  } catch (const NoAnswerQueued&) {
    state_ = RunState::WaitingForAnswer;
  }
  depth_ = 0;
  if (error) {
    state_ = RunState::EndedByError;
    fatalError_ = error;
    Emit("host: error box " + Quoted(DefaultErrorReport(*error)) + " titled " +
         Quoted(kProgramTitle) + "; the program ends");
  } else if (state_ == RunState::Ended) {
    Emit("host: the program has ended");
  } else if (state_ == RunState::EndedFromOutside) {
    Emit("host: the program ends with status 1");
  } else if (state_ == RunState::WaitingForAnswer) {
    Emit("host: no answer is queued for the message box; the run stops here");
  }
}

void ScriptedHost::Emit(std::string line) {
  trace_.push_back(std::string(static_cast<std::size_t>(2 * depth_), ' ') + std::move(line));
}

void ScriptedHost::EmitUser(std::string line) {
  trace_.push_back("user: " + std::move(line));
  if (!running()) {
    trace_.push_back("host: the program is not running; nothing happens");
  }
}

void ScriptedHost::FailIfArranged(const std::string& operation, const std::string& line) {
  const auto it = failures_.find(operation);
  if (it == failures_.end()) {
    return;
  }
  Emit(line + " -> " + Describe(it->second));
  throw it->second;
}

void ScriptedHost::Show(Form form) {
  const std::string line = Name(form) + ".Show";
  FailIfArranged(line, line);
  Emit(line);
  EnsureLoaded(form);
  window(form).visible = true;
}

void ScriptedHost::Hide(Form form) {
  const std::string line = Name(form) + ".Hide";
  FailIfArranged(line, line);
  Emit(line);
  EnsureLoaded(form);
  window(form).visible = false;
}

std::int32_t ScriptedHost::hWnd(Form form) {
  const std::string line = Name(form) + ".hWnd";
  FailIfArranged(line, line);
  EnsureLoaded(form);
  const std::int32_t handle = HandleOf(form);
  Emit(line + " -> " + std::to_string(handle));
  return handle;
}

ControlState& ScriptedHost::Write(Control control, std::string_view member,
                                  const std::string& argument) {
  const std::string operation = Name(control) + "." + std::string(member);
  const std::string line = operation + argument;
  FailIfArranged(operation, line);
  Emit(line);
  return state(control);
}

void ScriptedHost::Caption(Control control, TextView caption) {
  Write(control, "Caption", " = " + Quoted(caption)).caption = Text(caption);
}

VbBool ScriptedHost::Value(Control control) {
  const std::string line = Name(control) + ".Value";
  FailIfArranged(line, line);
  const VbBool value = state(control).value;
  Emit(line + " -> " + Bool(value));
  return value;
}

void ScriptedHost::Value(Control control, VbBool value) {
  const std::string operation = Name(control) + ".Value";
  const std::string line = operation + " = " + Bool(value);
  FailIfArranged(operation, line);
  Emit(line);
  if (value == kFalse) {
    state(control).value = kFalse;
    return;
  }
  SelectAndRaise(control);
}

void ScriptedHost::SelectAndRaise(Control option) {
  if (state(option).value == kTrue) {
    return;  // already selected: nothing changes, so no click
  }
  for (auto& [name, other] : window(option.form).controls) {
    if (LayoutOf(Control{option.form, name}).kind == ControlKind::OptionButton) {
      other.value = kFalse;
    }
  }
  state(option).value = kTrue;
  if (const auto handler = BoundHandler(option.form, option.name, Event::Click)) {
    RaiseNested(option.form, *handler);
  }
}

void ScriptedHost::Visible(Control control, VbBool visible) {
  Write(control, "Visible", " = " + Bool(visible)).visible = visible != kFalse;
}

void ScriptedHost::Enabled(Control control, VbBool enabled) {
  Write(control, "Enabled", " = " + Bool(enabled)).enabled = enabled != kFalse;
}

void ScriptedHost::Navigate2(Control browser, TextView url) {
  Write(browser, "Navigate2", " " + Quoted(url));
}

std::int32_t ScriptedHost::MsgBox(TextView prompt, std::int32_t buttons, TextView title) {
  const std::string line =
      "MsgBox " + Quoted(prompt) + ", " + std::to_string(buttons) + ", " + Quoted(title);
  FailIfArranged("MsgBox", line);
  // A box with OK alone leaves the user nothing to choose, so it takes no answer from the
  // queue (pressing OK or Escape there both answer 1); only a quit at its turn ends it otherwise.
  constexpr std::int32_t kButtonsMask = 0xF;
  const bool choice = (buttons & kButtonsMask) != 0;
  if (!answers_.empty() && !answers_.front().has_value()) {
    answers_.pop_front();
    Emit(line + " -> (told to quit)");
    EndFromOutside();
  }
  std::int32_t answer = kVbOk;
  if (choice) {
    if (answers_.empty()) {
      Emit(line + " -> (no answer queued)");
      throw NoAnswerQueued{};
    }
    answer = *answers_.front();
    answers_.pop_front();
  }
  Emit(line + " -> " + Answer(answer));
  return answer;
}

void ScriptedHost::Shell(TextView pathname, std::int16_t windowStyle) {
  const std::string line = "Shell " + Quoted(pathname) + ", " + std::to_string(windowStyle);
  FailIfArranged("Shell", line);
  Emit(line);
}

void ScriptedHost::End() {
  FailIfArranged("End", "End");
  Emit("End");
  throw ProgramEnded{};
}

Text ScriptedHost::AppPath() {
  FailIfArranged("App.Path", "App.Path");
  Emit("App.Path -> " + Quoted(setup_.appPath));
  return setup_.appPath;
}

std::int32_t ScriptedHost::SetWindowPos(std::int32_t hWnd, std::int32_t hWndInsertAfter,
                                        std::int32_t x, std::int32_t y, std::int32_t cx,
                                        std::int32_t cy, std::int32_t wFlags) {
  std::string line = "SetWindowPos";
  for (const std::int32_t argument : {hWnd, hWndInsertAfter, x, y, cx, cy, wFlags}) {
    line += (line.size() == 12 ? " " : ", ") + std::to_string(argument);
  }
  FailIfArranged("SetWindowPos", line);
  const auto form = WindowOfHandle(hWnd);
  const bool placed =
      form && (hWndInsertAfter == kHwndTopmost || hWndInsertAfter == kHwndNoTopmost);
  if (placed) {
    window(*form).topmost = hWndInsertAfter == kHwndTopmost;
  }
  const std::int32_t result = placed ? 1 : 0;
  Emit(line + " -> " + std::to_string(result));
  return result;
}

std::int32_t ScriptedHost::GetSystemMenu(std::int32_t hWnd, std::int32_t bRevert) {
  const std::string line = "GetSystemMenu " + std::to_string(hWnd) + ", " + std::to_string(bRevert);
  FailIfArranged("GetSystemMenu", line);
  const auto form = WindowOfHandle(hWnd);
  // Only a window with a control box has a system menu.
  const std::int32_t menu = form && LayoutOf(*form).controlBox ? SystemMenuOf(*form) : 0;
  Emit(line + " -> " + std::to_string(menu));
  return menu;
}

std::int32_t ScriptedHost::RemoveMenu(std::int32_t hMenu, std::int32_t nPosition,
                                      std::int32_t wFlags) {
  const std::string line = "RemoveMenu " + std::to_string(hMenu) + ", " +
                           std::to_string(nPosition) + ", " + std::to_string(wFlags);
  FailIfArranged("RemoveMenu", line);
  bool removed = false;
  for (const Form form : kForms) {
    Window& owner = window(form);
    if (owner.loaded && LayoutOf(form).controlBox && hMenu == SystemMenuOf(form) &&
        nPosition == kScClose && wFlags == kMfByCommand && owner.closeCommand) {
      owner.closeCommand = false;
      removed = true;
    }
  }
  Emit(line + " -> " + std::to_string(removed ? 1 : 0));
  return removed ? 1 : 0;
}

std::unique_ptr<FileSystemObject> ScriptedHost::CreateFileSystemObject() {
  const std::string line = "CreateObject \"Scripting.FileSystemObject\"";
  FailIfArranged("CreateObject", line);
  Emit(line);
  return std::make_unique<FileSystem>(*this);
}

}  // namespace termgate::scripted
