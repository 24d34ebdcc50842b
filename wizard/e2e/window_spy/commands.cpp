#include "commands.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>
#include <map>
#include <span>
#include <string>

#include "accessible_reader.h"
#include "system_dpi.h"
#include "keyboard.h"
#include "target_windows.h"
#include "text_measure.h"
#include "windows_owners.h"

namespace termgate::window_spy {

namespace {

using Arguments = std::span<const std::string>;

constexpr DWORD kPollIntervalMs = 20;
constexpr ULONGLONG kLongestTimeoutMs = 3'600'000;
// How long `answer` watches for the box to go away after clicking its button.
constexpr ULONGLONG kAnswerSettleMs = 2000;
constexpr int kMessageBoxTextId = 0xFFFF;
// How long `send` waits for the target to answer.
constexpr UINT kSendTimeoutMs = 5000;

Reply Success() {
  return Reply{};
}

Reply Failure(std::string_view error) {
  Reply reply{false, {}};
  reply.fields.Utf8("error", error);
  return reply;
}

std::string FormName(Form form) {
  const TextView name = NameOf(form);
  return std::string(name.begin(), name.end());
}

std::string Quoted(std::string_view word) {
  std::string quoted = "'";
  quoted += word;
  quoted += '\'';
  return quoted;
}

Form FormArgument(std::string_view word) {
  if (const auto form = ParseForm(word)) {
    return *form;
  }
  throw CommandError("unknown form " + Quoted(word) + " (Form2 or Form3)");
}

const ControlLayout& ControlArgument(Form form, std::string_view word) {
  const auto name = ParseControlName(word);
  if (!name) {
    throw CommandError("unknown control " + Quoted(word));
  }
  const ControlLayout* layout = FindControlLayout(form, *name);
  if (layout == nullptr) {
    throw CommandError(FormName(form) + " has no control " + Quoted(word));
  }
  return *layout;
}

ULONGLONG TimeoutArgument(std::string_view word) {
  ULONGLONG milliseconds = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), milliseconds);
  if (error != std::errc{} || end != word.data() + word.size() ||
      milliseconds > kLongestTimeoutMs) {
    throw CommandError("bad timeout " + Quoted(word) + " (milliseconds, at most 3600000)");
  }
  return milliseconds;
}

HWND ExistingFormWindow(Form form) {
  if (const HWND window = FindFormWindow(form)) {
    return window;
  }
  throw CommandError("no " + FormName(form) + " window");
}

HWND ExistingControlWindow(HWND formWindow, const ControlLayout& control) {
  if (const HWND window = ControlWindow(formWindow, control.name)) {
    return window;
  }
  const TextView name = NameOf(control.name);
  throw CommandError("no child window for " + std::string(name.begin(), name.end()));
}

RECT RectInParentClient(HWND control, HWND parent) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Polls `condition` every kPollIntervalMs until it holds or `timeoutMs` has passed; true when it
// held. The condition is always tested at least once, and once more at the deadline.
bool PollUntil(ULONGLONG timeoutMs, const std::function<bool()>& condition) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) {
      return true;
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) {
      return false;
    }
    Sleep(static_cast<DWORD>(std::min<ULONGLONG>(kPollIntervalMs, deadline - now)));
  }
}

void AddWindowFields(JsonObject& out, HWND window) {
  if (window == nullptr) {
    out.Bool("exists", false);
    return;
  }
  const auto style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  RECT windowRect{};
  GetWindowRect(window, &windowRect);
  RECT client{};
  GetClientRect(window, &client);
  POINT clientOrigin{0, 0};
  ClientToScreen(window, &clientOrigin);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);

  JsonObject fields;
  fields.Bool("exists", true)
      .Bool("visible", IsWindowVisible(window))
      .Number("hwnd", HandleNumber(window))
      .Number("pid", processId)
      .Text("image", ProcessImagePath(processId))
      .Text("className", ClassNameOf(window))
      .Text("title", TitleOf(window))
      .Number("style", style)
      .Number("exStyle", exStyle)
      .Bool("topmost", (exStyle & WS_EX_TOPMOST) != 0)
      .Bool("toolWindow", (exStyle & WS_EX_TOOLWINDOW) != 0)
      .Bool("appWindow", (exStyle & WS_EX_APPWINDOW) != 0)
      .Bool("caption", (style & WS_CAPTION) == WS_CAPTION)
      .Bool("sysMenu", (style & WS_SYSMENU) != 0)
      .Bool("border", (style & WS_BORDER) != 0)
      .Bool("thickFrame", (style & WS_THICKFRAME) != 0)
      .Bool("minimizeBox", (style & WS_MINIMIZEBOX) != 0)
      .Bool("maximizeBox", (style & WS_MAXIMIZEBOX) != 0)
      .Bool("enabled", IsWindowEnabled(window))
      .Bool("minimized", IsIconic(window))
      .Array("windowRect", RectArray(windowRect))
      .Array("clientSize", PairArray(client.right - client.left, client.bottom - client.top))
      .Array("clientOrigin", PairArray(clientOrigin.x, clientOrigin.y))
      .Array("workArea", RectArray(monitor.rcWork))
      .Number("dpi", win32::DpiOfWindow(window))
      .Bool("foreground", GetForegroundWindow() == window);
  // A window destroyed while it was being read gives zeros above: report what is true now.
  if (!IsWindow(window)) {
    out.Bool("exists", false);
    return;
  }
  out.Merge(fields);
}

Reply WindowCommand(Arguments args) {
  const Form form = FormArgument(args[0]);
  Reply reply = Success();
  AddWindowFields(reply.fields, FindFormWindow(form));
  reply.fields.Number("count", CountFormWindows(form));
  return reply;
}

Reply ControlsCommand(Arguments args) {
  const HWND form = ExistingFormWindow(FormArgument(args[0]));
  JsonArray controls;
  for (HWND child = GetWindow(form, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(child);
    const auto style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
    const auto checked = HasClass(child, L"Button") ? SendQuery(child, BM_GETCHECK) : 0;
    JsonObject control;
    control.Number("id", id)
        .Text("name", ControlNameOfId(id))
        .Text("class", ClassNameOf(child))
        .Text("text", TextOf(child))
        // The control's own flag, as its Visible property reads; the window's is separate.
        .Bool("visible", (style & WS_VISIBLE) != 0)
        .Bool("enabled", IsWindowEnabled(child))
        .Number("checked", static_cast<std::int64_t>(checked))
        .Number("style", style)
        .Bool("tabStop", (style & WS_TABSTOP) != 0)
        .Bool("group", (style & WS_GROUP) != 0)
        .Array("rect", RectArray(RectInParentClient(child, form)))
        .Number("hwnd", HandleNumber(child));
    controls.Object(control);
  }
  Reply reply = Success();
  reply.fields.Array("controls", controls);
  return reply;
}

HWND ChildOfFormContaining(HWND form, HWND descendant) {
  HWND node = descendant;
  while (node != nullptr && node != form) {
    const HWND parent = GetAncestor(node, GA_PARENT);
    if (parent == form) {
      return node;
    }
    if (parent == GetDesktopWindow()) {
      return nullptr;
    }
    node = parent;
  }
  return nullptr;
}

HWND TargetArgument(std::string_view word);

Reply FocusCommand(Arguments args) {
  const HWND form =
      args[0] == "box" ? TargetArgument(args[0]) : ExistingFormWindow(FormArgument(args[0]));
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &info)) {
    throw CommandError("GetGUIThreadInfo failed");
  }
  const HWND focus = info.hwndFocus;
  std::wstring focusName;
  bool inWindow = false;
  if (focus == form) {
    focusName = ClassNameOf(form);
    inWindow = true;
  } else if (const HWND control = ChildOfFormContaining(form, focus)) {
    // Focus inside a browser control's own windows is reported as that control.
    focusName = ControlNameOfId(GetDlgCtrlID(control));
    inWindow = true;
  }
  if (focusName.empty() && focus != nullptr) {
    focusName = ClassNameOf(focus);
  }
  Reply reply = Success();
  reply.fields.Text("focus", focusName)
      .Text("focusClass", focus != nullptr ? ClassNameOf(focus) : std::wstring())
      .Number("focusHwnd", HandleNumber(focus))
      .Number("focusId", focus != nullptr ? GetDlgCtrlID(focus) : 0)
      .Bool("inWindow", inWindow)
      .Bool("active", info.hwndActive == form);
  return reply;
}

Reply PostClick(Arguments args, bool optionsOnly) {
  const Form form = FormArgument(args[0]);
  const ControlLayout& layout = ControlArgument(form, args[1]);
  if (optionsOnly && layout.kind != ControlKind::OptionButton) {
    throw CommandError(Quoted(args[1]) + " is not an option button");
  }
  const HWND formWindow = ExistingFormWindow(form);
  const HWND control = ExistingControlWindow(formWindow, layout);
  const bool visible = IsWindowVisible(control);
  const bool enabled = IsWindowEnabled(control);
  // Posted: a click that opens a message box would not return until the box is answered.
  if (!PostMessageW(control, BM_CLICK, 0, 0)) {
    throw CommandError("PostMessage(BM_CLICK) failed");
  }
  AwaitPostedMessagesTaken(formWindow);
  Reply reply = Success();
  reply.fields.Bool("visible", visible).Bool("enabled", enabled);
  return reply;
}

Reply ClickCommand(Arguments args) {
  return PostClick(args, false);
}

Reply SelectCommand(Arguments args) {
  return PostClick(args, true);
}

Reply CloseCommand(Arguments args) {
  const HWND form = ExistingFormWindow(FormArgument(args[0]));
  const std::string& how = args[1];
  if (how == "wm_close") {
    if (!PostMessageW(form, WM_CLOSE, 0, 0)) {
      throw CommandError("PostMessage(WM_CLOSE) failed");
    }
  } else if (how == "sc_close") {
    if (!PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0)) {
      throw CommandError("PostMessage(WM_SYSCOMMAND) failed");
    }
  } else if (how == "alt_f4") {
    // Typed, not posted: the keystroke then reaches the focused control through Termgate's own
    // message loop and dialog navigation, and default handling turns it into SC_CLOSE.
    BringToForeground(form);
    Type(kAltF4);
    return Success();
  } else {
    throw CommandError("unknown way to close " + Quoted(how) + " (wm_close, sc_close, alt_f4)");
  }
  AwaitPostedMessagesTaken(form);
  return Success();
}

// A form's window, or with "box" Termgate's open message box.
// A number as the tests write it: decimal, or hexadecimal after 0x.
std::uint64_t NumberArgument(std::string_view word) {
  int base = 10;
  if (word.starts_with("0x")) {
    word.remove_prefix(2);
    base = 16;
  }
  std::uint64_t number = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number, base);
  if (error != std::errc{} || end != word.data() + word.size() || word.empty()) {
    throw CommandError("bad number " + Quoted(word));
  }
  return number;
}

// A form's window, or with FORM.CONTROL one of its controls; with "box" Termgate's open message
// box, with "box.ID" the box's control of that ID (box.1 is its OK button).
HWND TargetArgument(std::string_view word) {
  const std::size_t dot = word.find('.');
  const std::string_view window = word.substr(0, dot);
  const std::string_view part = dot == std::string_view::npos ? "" : word.substr(dot + 1);
  if (window != "box") {
    const Form form = FormArgument(window);
    const HWND formWindow = ExistingFormWindow(form);
    return part.empty() ? formWindow
                        : ExistingControlWindow(formWindow, ControlArgument(form, part));
  }
  const HWND box = FindTermgateMessageBox();
  if (box == nullptr) {
    throw CommandError("no message box of Termgate's");
  }
  if (part.empty()) {
    return box;
  }
  const HWND control = GetDlgItem(box, static_cast<int>(NumberArgument(part)));
  if (control == nullptr) {
    throw CommandError("the message box has no control " + Quoted(word));
  }
  return control;
}

Reply KeyCommand(Arguments args) {
  // "-": to whatever has the keyboard now.
  const HWND form = args[0] == "-" ? nullptr : TargetArgument(args[0]);
  const auto strokes = KeyStrokes(args[1]);
  if (!strokes) {
    throw CommandError("unknown keys " + Quoted(args[1]) +
                       " (TAB, SHIFT_TAB, SPACE, ENTER, ESCAPE, UP, DOWN, LEFT, RIGHT, each with "
                       ":down or :up or neither, separated by commas)");
  }
  if (form != nullptr) {
    BringToForeground(form);
  }
  // What a box takes as a fresh press must be stamped after the box became active.
  AwaitNextTick();
  Send(*strokes);
  return Success();
}

Reply PostCommand(Arguments args) {
  const HWND target = TargetArgument(args[0]);
  const auto message = static_cast<UINT>(NumberArgument(args[1]));
  if (!PostMessageW(target, message, static_cast<WPARAM>(NumberArgument(args[2])),
                    static_cast<LPARAM>(NumberArgument(args[3])))) {
    throw CommandError("PostMessage failed");
  }
  AwaitPostedMessagesTaken(target);
  return Success();
}

Reply SendCommand(Arguments args) {
  const HWND target = TargetArgument(args[0]);
  DWORD_PTR result = 0;
  const bool answered = SendMessageTimeoutW(target, static_cast<UINT>(NumberArgument(args[1])),
                                            static_cast<WPARAM>(NumberArgument(args[2])),
                                            static_cast<LPARAM>(NumberArgument(args[3])),
                                            SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) != 0;
  Reply reply = Success();
  reply.fields.Bool("answered", answered).Number("result", static_cast<std::int64_t>(result));
  return reply;
}

// Processes being watched, by id: a handle keeps an ended process's exit code readable.
std::map<DWORD, win32::unique_handle> watched;

Reply WatchCommand(Arguments args) {
  const auto processId = static_cast<DWORD>(NumberArgument(args[0]));
  win32::unique_handle process(
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) {
    throw CommandError("no process " + Quoted(args[0]));
  }
  watched[processId] = std::move(process);
  return Success();
}

Reply WaitProcessCommand(Arguments args) {
  const auto processId = static_cast<DWORD>(NumberArgument(args[0]));
  const auto found = watched.find(processId);
  if (found == watched.end()) {
    throw CommandError("process " + Quoted(args[0]) + " is not watched");
  }
  const win32::unique_handle process = std::move(found->second);
  watched.erase(found);
  const ULONGLONG timeoutMs = TimeoutArgument(args[1]);
  if (WaitForSingleObject(process.get(), static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
    return Failure("timeout");
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(process.get(), &exitCode);
  Reply reply = Success();
  reply.fields.Number("exitCode", exitCode);
  return reply;
}

void AddMessageBoxFields(JsonObject& out, HWND box);

// Waits for a box of Termgate's and reads it into `out`; nullptr when none came. A box that goes
// away while it is read (the confirmation closing as the notice comes) is no answer: the wait
// goes on.
HWND AwaitMessageBox(ULONGLONG timeoutMs, JsonObject& out) {
  HWND box = nullptr;
  PollUntil(timeoutMs, [&box, &out] {
    box = FindTermgateMessageBox();
    if (box == nullptr) {
      return false;
    }
    JsonObject fields;
    try {
      AddMessageBoxFields(fields, box);
    } catch (const CommandError&) {
      if (IsWindow(box) && IsWindowVisible(box)) {
        throw;
      }
      box = nullptr;
      return false;
    }
    out = fields;
    return true;
  });
  return box;
}

void AddMessageBoxFields(JsonObject& out, HWND box) {
  std::wstring text;
  JsonArray buttons;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    // The ID is a WORD in the dialog template; compare only those bits.
    if ((GetDlgCtrlID(child) & 0xFFFF) == kMessageBoxTextId && HasClass(child, L"Static")) {
      text = TextOf(child);
    } else if (HasClass(child, L"Button") && IsWindowVisible(child)) {
      JsonObject button;
      button.Number("id", GetDlgCtrlID(child))
          .Text("text", TextOf(child))
          .Bool("pushed", (SendQuery(child, BM_GETSTATE) & BST_PUSHED) != 0);
      buttons.Object(button);
    }
  }
  DWORD processId = 0;
  GetWindowThreadProcessId(box, &processId);
  const auto exStyle = static_cast<DWORD>(GetWindowLongW(box, GWL_EXSTYLE));
  out.Text("title", TitleOf(box))
      .Text("text", text)
      .Number("count", CountTermgateMessageBoxes())
      .Array("buttons", buttons)
      .Bool("topmost", (exStyle & WS_EX_TOPMOST) != 0)
      .Bool("foreground", GetForegroundWindow() == box)
      .Number("hwnd", HandleNumber(box))
      .Number("pid", processId);
}

Reply MessageBoxCommand(Arguments args) {
  JsonObject fields;
  if (AwaitMessageBox(TimeoutArgument(args[0]), fields) == nullptr) {
    return Failure("timeout");
  }
  Reply reply = Success();
  reply.fields.Merge(fields);
  return reply;
}

Reply AnswerCommand(Arguments args) {
  const std::string& choice = args[0];
  int buttonId = 0;
  if (choice == "ok") {
    buttonId = IDOK;
  } else if (choice == "cancel") {
    buttonId = IDCANCEL;
  } else {
    throw CommandError("unknown answer " + Quoted(choice) + " (ok or cancel)");
  }
  JsonObject answered;
  const HWND box = AwaitMessageBox(TimeoutArgument(args[1]), answered);
  if (box == nullptr) {
    return Failure("timeout");
  }
  const HWND button = GetDlgItem(box, buttonId);
  if (button == nullptr || !HasClass(button, L"Button") || !IsWindowVisible(button)) {
    throw CommandError("the message box has no " + choice + " button");
  }
  // Answered as a person answers it, from the keyboard: the box takes no click or command that
  // another program posts or sends it. Enter presses the default button, OK; Escape is Cancel.
  BringToForeground(box);
  AwaitNextTick();
  Type(KeyChord{buttonId == IDOK ? static_cast<WORD>(VK_RETURN) : static_cast<WORD>(VK_ESCAPE)});
  const bool closed = PollUntil(kAnswerSettleMs, [box] { return !IsWindowVisible(box); });
  Reply reply = Success();
  reply.fields.Object("box", answered).Bool("closed", closed);
  return reply;
}

Reply WaitCommand(Arguments args) {
  const Form form = FormArgument(args[0]);
  const std::string& state = args[1];
  std::function<bool(HWND)> reached;
  if (state == "visible") {
    reached = [](HWND window) { return window != nullptr && IsWindowVisible(window); };
  } else if (state == "hidden") {
    reached = [](HWND window) { return window != nullptr && !IsWindowVisible(window); };
  } else if (state == "gone") {
    reached = [](HWND window) { return window == nullptr; };
  } else {
    throw CommandError("unknown state " + Quoted(state) + " (visible, hidden, gone)");
  }
  const ULONGLONG start = GetTickCount64();
  HWND window = nullptr;
  const bool ok = PollUntil(TimeoutArgument(args[2]), [&] {
    window = FindFormWindow(form);
    return reached(window);
  });
  Reply reply = ok ? Success() : Failure("timeout");
  AddWindowFields(reply.fields, window);
  reply.fields.Number("waitedMs", static_cast<std::int64_t>(GetTickCount64() - start));
  return reply;
}

std::vector<HWND> TermgateWindowsLeft() {
  std::vector<HWND> left;
  for (const Form form : kForms) {
    if (const HWND window = FindFormWindow(form)) {
      left.push_back(window);
    }
  }
  if (const HWND box = FindTermgateMessageBox(true)) {
    left.push_back(box);
  }
  return left;
}

Reply WaitExitCommand(Arguments args) {
  const ULONGLONG start = GetTickCount64();
  std::vector<HWND> left;
  const bool ok = PollUntil(TimeoutArgument(args[0]), [&left] {
    left = TermgateWindowsLeft();
    return left.empty();
  });
  Reply reply = ok ? Success() : Failure("timeout");
  if (!ok) {
    JsonArray classes;
    for (const HWND window : left) {
      classes.Text(ClassNameOf(window));
    }
    reply.fields.Array("remaining", classes);
  }
  reply.fields.Number("waitedMs", static_cast<std::int64_t>(GetTickCount64() - start));
  return reply;
}

Reply WindowsCommand(Arguments) {
  // Every top-level window of the desktop, whoever's: what a hung logoff waits on, for example.
  JsonArray windows;
  for (const HWND window : TopLevelWindows()) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    JsonObject fields;
    fields.Number("hwnd", HandleNumber(window))
        .Text("className", ClassNameOf(window))
        .Text("title", TitleOf(window))
        .Bool("visible", IsWindowVisible(window))
        .Number("pid", processId)
        .Text("image", ProcessImageBaseName(processId));
    windows.Object(fields);
  }
  Reply reply = Success();
  reply.fields.Array("windows", windows).Number("foreground", HandleNumber(GetForegroundWindow()));
  return reply;
}

Reply MeasureCommand(Arguments args) {
  const Form form = FormArgument(args[0]);
  const ControlLayout& layout = ControlArgument(form, args[1]);
  if (layout.kind == ControlKind::WebBrowser) {
    throw CommandError(Quoted(args[1]) + " is a browser control: it has no text to measure");
  }
  const HWND formWindow = ExistingFormWindow(form);
  const HWND control = ExistingControlWindow(formWindow, layout);
  const std::wstring text = TextOf(control);
  const UINT dpi = win32::DpiOfWindow(formWindow);
  const LOGFONTW font = FontOfControl(layout, dpi);
  const SIZE extent = TextExtent(font, text);
  RECT bounds{};
  GetWindowRect(control, &bounds);

  JsonObject fontFields;
  fontFields.Text("face", font.lfFaceName)
      .Number("height", font.lfHeight)
      .Number("weight", font.lfWeight);
  Reply reply = Success();
  reply.fields.Text("text", text)
      .Number("textWidth", extent.cx)
      .Number("textHeight", extent.cy)
      .Number("controlWidth", bounds.right - bounds.left)
      .Number("controlHeight", bounds.bottom - bounds.top)
      .Number("dpi", dpi)
      .Object("font", fontFields);
  return reply;
}

Reply AccessibleCommand(Arguments args) {
  const Form form = FormArgument(args[0]);
  const HWND control =
      ExistingControlWindow(ExistingFormWindow(form), ControlArgument(form, args[1]));
  const AccessibleFacts facts = ReadAccessible(control);
  Reply reply = Success();
  reply.fields.Text("name", facts.name)
      .Text("nameByDispatch", facts.nameByDispatch)
      .Number("role", facts.role)
      .Number("state", facts.state)
      .Bool("checked", (facts.state & STATE_SYSTEM_CHECKED) != 0)
      .Bool("focused", (facts.state & STATE_SYSTEM_FOCUSED) != 0);
  return reply;
}

Reply AccessibleDoCommand(Arguments args) {
  const Form form = FormArgument(args[0]);
  const HWND control =
      ExistingControlWindow(ExistingFormWindow(form), ControlArgument(form, args[1]));
  const long result = DoDefaultAction(control);
  Reply reply = Success();
  reply.fields.Number("hresult", result).Bool("succeeded", result >= 0);
  return reply;
}

Reply TerminateCommand(Arguments args) {
  // As Task Manager's End task does: the process gets no chance to do anything more.
  const auto processId = static_cast<DWORD>(NumberArgument(args[0]));
  const win32::unique_handle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
  if (!process || !TerminateProcess(process.get(), 1)) {
    throw CommandError("cannot terminate process " + Quoted(args[0]));
  }
  return Success();
}

Reply PostQuitCommand(Arguments args) {
  // What a session ending or another program asking Termgate to quit looks like to its thread.
  const HWND form = ExistingFormWindow(FormArgument(args[0]));
  if (!PostThreadMessageW(GetWindowThreadProcessId(form, nullptr), WM_QUIT, 0, 0)) {
    throw CommandError("PostThreadMessage(WM_QUIT) failed");
  }
  return Success();
}

Reply PingCommand(Arguments) {
  return Success();
}

struct Command {
  std::string_view name;
  std::size_t argumentCount;
  std::string_view usage;
  Reply (*run)(Arguments);
};

constexpr std::array kCommands{
    Command{"window", 1, "window FORM", &WindowCommand},
    Command{"controls", 1, "controls FORM", &ControlsCommand},
    Command{"focus", 1, "focus FORM|box", &FocusCommand},
    Command{"click", 2, "click FORM CONTROL", &ClickCommand},
    Command{"select", 2, "select FORM CONTROL", &SelectCommand},
    Command{"close", 2, "close FORM wm_close|sc_close|alt_f4", &CloseCommand},
    Command{"key", 2, "key FORM|box|- KEYS", &KeyCommand},
    Command{"post", 4, "post TARGET MESSAGE WPARAM LPARAM", &PostCommand},
    Command{"send", 4, "send TARGET MESSAGE WPARAM LPARAM", &SendCommand},
    Command{"msgbox", 1, "msgbox TIMEOUT_MS", &MessageBoxCommand},
    Command{"answer", 2, "answer ok|cancel TIMEOUT_MS", &AnswerCommand},
    Command{"wait", 3, "wait FORM visible|hidden|gone TIMEOUT_MS", &WaitCommand},
    Command{"wait-exit", 1, "wait-exit TIMEOUT_MS", &WaitExitCommand},
    Command{"windows", 0, "windows", &WindowsCommand},
    Command{"measure", 2, "measure FORM CONTROL", &MeasureCommand},
    Command{"accessible", 2, "accessible FORM CONTROL", &AccessibleCommand},
    Command{"accessible-do", 2, "accessible-do FORM CONTROL", &AccessibleDoCommand},
    Command{"watch", 1, "watch PID", &WatchCommand},
    Command{"wait-process", 2, "wait-process PID TIMEOUT_MS", &WaitProcessCommand},
    Command{"post-quit", 1, "post-quit FORM", &PostQuitCommand},
    Command{"terminate", 1, "terminate PID", &TerminateCommand},
    Command{"ping", 0, "ping", &PingCommand},
    Command{"quit", 0, "quit", &PingCommand},
};

}  // namespace

Reply RunCommand(const std::vector<std::string>& words) {
  if (words.empty()) {
    return Failure("empty command");
  }
  for (const Command& command : kCommands) {
    if (command.name != words.front()) {
      continue;
    }
    if (words.size() - 1 != command.argumentCount) {
      return Failure("usage: " + std::string(command.usage));
    }
    try {
      return command.run(Arguments(words).subspan(1));
    } catch (const CommandError& error) {
      return Failure(error.what());
    } catch (const std::exception& error) {
      return Failure(std::string("internal error: ") + error.what());
    }
  }
  return Failure("unknown command " + Quoted(words.front()));
}

std::string ReplyLine(const Reply& reply) {
  std::string line = reply.ok ? "{\"ok\":true" : "{\"ok\":false";
  if (!reply.fields.members().empty()) {
    line += ',';
    line += reply.fields.members();
  }
  line += '}';
  return line;
}

}  // namespace termgate::window_spy
