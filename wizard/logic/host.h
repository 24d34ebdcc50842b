// The one interface between Termgate's logic and the Windows form run time that hosts it.
//
// The logic calls nothing else, so the same handlers run on the real Win32 host and on the
// scripted host of the tests. Operations keep the host's own names. Every operation may fail
// by throwing RuntimeError; the logic installs no handler, so the error leaves the handler and
// the host's default error handling ends the program.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace termgate {

using Text = std::u16string;
using TextView = std::u16string_view;

// Truth values exchanged with the host: -1 is true, 0 is false. A read value is tested for
// exactly -1, never for "non-zero".
using VbBool = std::int16_t;
inline constexpr VbBool kTrue = -1;
inline constexpr VbBool kFalse = 0;

// The program's windows. Whatever holds or visits one thing per window iterates kForms and is
// sized by kFormCount; whatever differs by window switches over Form, so that -Wswitch names
// every place a new window must be handled.
enum class Form : std::uint8_t { Form2, Form3 };
inline constexpr std::array kForms{Form::Form2, Form::Form3};
inline constexpr std::size_t kFormCount = kForms.size();

constexpr std::size_t IndexOf(Form form) {
  return static_cast<std::size_t>(form);
}
static_assert(
    [] {
      for (std::size_t i = 0; i < kFormCount; ++i) {
        if (IndexOf(kForms[i]) != i) {
          return false;
        }
      }
      return true;
    }(),
    "kForms lists every Form once, in the order of the enum");

// Controls are named per window; equal names on the two windows are different controls.
enum class ControlName : std::uint8_t {
  Command1,
  Option1,
  Option2,
  Label2,
  Label3,
  WebBrowser1,
  WebBrowser2,
};

inline constexpr std::array kControlNames{
    ControlName::Command1, ControlName::Option1,     ControlName::Option2,    ControlName::Label2,
    ControlName::Label3,   ControlName::WebBrowser1, ControlName::WebBrowser2};
static_assert(
    [] {
      for (std::size_t i = 0; i < kControlNames.size(); ++i) {
        if (static_cast<std::size_t>(kControlNames[i]) != i) {
          return false;
        }
      }
      return true;
    }(),
    "kControlNames lists every ControlName once, in the order of the enum");

struct Control {
  Form form;
  ControlName name;
  friend constexpr bool operator==(Control, Control) = default;
};

// Form_QueryUnload is raised when the program is told to end from outside (the session ends, or a
// quit message), as the form run time's QueryUnload with the modes vbAppWindows and
// vbAppTaskManager; nothing cancels it, and the host ends the program right after it.
enum class Handler : std::uint8_t {
  Form_Load,
  Command1_Click,
  Option1_Click,
  Option2_Click,
  Form_QueryUnload,
};

// The program's side: the host raises a window's event by calling Raise. An event raised by a
// host call of a running handler (Show loading a window, a Value write selecting an option) is
// raised inside that call and runs to its end before the call returns.
class EventSink {
 public:
  virtual void Raise(Form form, Handler handler) = 0;

 protected:
  ~EventSink() = default;
};

// MsgBox's buttons codes and answers, and OpenTextFile's mode, by the form run time's names.
inline constexpr std::int32_t kVbOkOnly = 0;
inline constexpr std::int32_t kVbOkCancel = 1;
inline constexpr std::int32_t kVbOk = 1;
inline constexpr std::int32_t kVbCancel = 2;
inline constexpr std::int16_t kForReading = 1;

// The text stream that OpenTextFile returns, open for reading in the system's ANSI code page.
class TextStream {
 public:
  virtual ~TextStream() = default;
  // The next line without its line break. Fails with run-time error 62 when no line is left.
  virtual Text ReadLine() = 0;
  virtual VbBool AtEndOfStream() = 0;
  virtual void Close() = 0;
};

// The scripting file-system object ("Scripting.FileSystemObject").
class FileSystemObject {
 public:
  virtual ~FileSystemObject() = default;
  virtual VbBool FileExists(TextView path) = 0;
  // Opens for reading (ioMode kForReading) in the default text format; never creates the file.
  // Fails with run-time error 70 when the file exists but cannot be opened.
  virtual std::unique_ptr<TextStream> OpenTextFile(TextView path, std::int16_t ioMode) = 0;
};

class Host {
 public:
  virtual ~Host() = default;

  // Windows by name. The first reference creates the window's one instance from its layout.
  // Show loads a window that is not loaded (raising its Form_Load inside the call) and makes it
  // visible; a window that was only hidden is shown again without a second Form_Load.
  virtual void Show(Form form) = 0;
  virtual void Hide(Form form) = 0;
  virtual std::int32_t hWnd(Form form) = 0;

  // Control properties. Writing kTrue to an option's Value selects it, clears the other option
  // of its group and raises its click handler before the write returns.
  virtual void Caption(Control control, TextView caption) = 0;
  virtual VbBool Value(Control control) = 0;
  virtual void Value(Control control, VbBool value) = 0;
  virtual void Visible(Control control, VbBool visible) = 0;
  virtual void Enabled(Control control, VbBool enabled) = 0;
  virtual void Navigate2(Control browser, TextView url) = 0;

  // Statements.
  virtual std::int32_t MsgBox(TextView prompt, std::int32_t buttons, TextView title) = 0;
  virtual void Shell(TextView pathname, std::int16_t windowStyle) = 0;
  // Ends the program at once: nothing after it in the handler runs.
  [[noreturn]] virtual void End() = 0;
  virtual Text AppPath() = 0;

  // user32, as declared by Module1.
  virtual std::int32_t SetWindowPos(std::int32_t hWnd, std::int32_t hWndInsertAfter, std::int32_t x,
                                    std::int32_t y, std::int32_t cx, std::int32_t cy,
                                    std::int32_t wFlags) = 0;
  virtual std::int32_t GetSystemMenu(std::int32_t hWnd, std::int32_t bRevert) = 0;
  virtual std::int32_t RemoveMenu(std::int32_t hMenu, std::int32_t nPosition,
                                  std::int32_t wFlags) = 0;

  // CreateObject("Scripting.FileSystemObject").
  virtual std::unique_ptr<FileSystemObject> CreateFileSystemObject() = 0;
};

}  // namespace termgate
