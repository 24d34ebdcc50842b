#include "win32_host.h"

#include <new>
#include <string>

#include "layouts.h"
#include "modal_box.h"
#include "shell_command.h"
#include "wide_text.h"
#include "windows_file_system.h"
#include "windows_helpers.h"

namespace termgate::win32 {

namespace {

HWND AsWindow(std::int32_t handle) {
  // Window and menu handles are 32-bit values even in 64-bit processes; sign extension is how
  // Windows widens them.
  return reinterpret_cast<HWND>(static_cast<INT_PTR>(handle));
}

std::int32_t AsInt32(const void* handle) {
  return static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(handle));
}

RuntimeError AutomationError(HRESULT result) {
  return RuntimeError{static_cast<std::int32_t>(result), u"Automation error"};
}

LRESULT CALLBACK DropForgedMessages(int code, WPARAM removed, LPARAM lParam) {
  // Only the system sends the DPI messages, with pointers to its own data; one that arrives
  // through a message queue was posted by another program, with whatever pointer it chose. The
  // host only ever sends a button its check mark and pushed state: posted, they would show a
  // choice nobody made.
  auto* message = reinterpret_cast<MSG*>(lParam);
  switch (code == HC_ACTION ? message->message : WM_NULL) {
    case WM_DPICHANGED:
    case WM_GETDPISCALEDSIZE:
    case BM_SETCHECK:
    case BM_SETSTATE:
      message->message = WM_NULL;
      break;
    default:
      break;
  }
  return CallNextHookEx(nullptr, code, removed, lParam);
}

}  // namespace

void Win32Host::Run(EventSink& program, const LanguageSetting& language) {
  program_ = &program;
  record_.emplace(&language);
  // Every message loop of the thread passes this hook: the host's, and those of message boxes.
  const unique_hhook notForged(
      SetWindowsHookExW(WH_GETMESSAGE, &DropForgedMessages, nullptr, GetCurrentThreadId()));
  AtTopLevel([this, &notForged] {
    if (!notForged) {
      throw runtime_errors::OutOfMemory();
    }
    Loaded(kStartupForm);
  });
  Loaded(kStartupForm).Show();

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    bool handled = false;
    for (const auto& form : forms_) {
      if (form && form->PreTranslateMessage(message)) {
        handled = true;
        break;
      }
    }
    if (!handled) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  EndFromOutside(RunRecord::Outside::QuitMessage);
}

FormWindow& Win32Host::Loaded(Form form) {
  std::unique_ptr<FormWindow>& slot = forms_[IndexOf(form)];
  if (!slot) {
    slot = std::make_unique<FormWindow>(LayoutOf(form), static_cast<FormWindow::Listener&>(*this));
    // Loaded before Form_Load runs, so the handler's own references find it.
    if (const auto handler = BoundHandler(form, std::nullopt, Event::Load)) {
      program_->Raise(form, *handler);
    }
  }
  return *slot;
}

HWND Win32Host::ControlWindow(Control control) {
  return Loaded(control.form).ControlWindow(control.name);
}

void Win32Host::Clicked(Form form, const ControlLayout& control) {
  FormWindow& window = Loaded(form);
  const ControlLayout* target =
      control.kind == ControlKind::Label ? ControlLabelledBy(form, control.name) : &control;
  if (target == nullptr) {
    return;
  }
  if (boxOpen_ || !window.TakesInput(control) || !window.TakesInput(*target)) {
    // An auto radio button checks itself on any click; a refused one is undone.
    window.RestoreSelection();
    return;
  }
  if (target->kind == ControlKind::OptionButton) {
    // A click on an option itself counts once the button has checked itself, and the selected
    // option clicked again changes nothing.
    if ((target == &control && !window.IsChecked(target->name)) ||
        window.selectedOption() == target->name) {
      return;
    }
    window.SelectOption(target->name, target != &control);
  }
  if (const auto handler = BoundHandler(form, target->name, Event::Click)) {
    AtTopLevel([this, form, handler] { program_->Raise(form, *handler); });
  }
}

void Win32Host::SessionEnds() {
  EndFromOutside(RunRecord::Outside::SessionEnded);
}

void Win32Host::Failed() {
  AtTopLevel([] { throw; });
  ExitProcess(1);  // not reached: the default error handling ends the program
}

void Win32Host::EndFromOutside(RunRecord::Outside how) {
  AtTopLevel([this] {
    for (const Form form : kForms) {
      if (const auto handler = BoundHandler(form, std::nullopt, Event::QueryUnload);
          handler && forms_[IndexOf(form)]) {
        program_->Raise(form, *handler);
      }
    }
  });
  record_->EndedFromOutside(how);
  ExitProcess(kExitEndedFromOutside);
}

void Win32Host::AtTopLevel(const std::function<void()>& dispatch) {
  // Handlers run inside window procedures: nothing may unwind into Windows' own frames.
  try {
    dispatch();
  } catch (const RuntimeError& error) {
    DefaultErrorHandling(error);
  } catch (const std::bad_alloc&) {
    DefaultErrorHandling(runtime_errors::OutOfMemory());
  } catch (...) {
    DefaultErrorHandling(RuntimeError{51, u"Internal error"});
  }
}

void Win32Host::DefaultErrorHandling(const RuntimeError& error) {
  // Recorded before the box, which waits for a person who may never come.
  record_->Failed(error);
  const std::wstring report = Wide(DefaultErrorReport(error));
  MessageBoxW(nullptr, report.c_str(), Wide(kProgramTitle).c_str(),
              MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
  ExitProcess(error.number > 0 ? static_cast<UINT>(error.number) : 1u);
}

void Win32Host::Show(Form form) {
  FormWindow& window = Loaded(form);
  window.Show();
}

void Win32Host::Hide(Form form) {
  Loaded(form).Hide();
}

std::int32_t Win32Host::hWnd(Form form) {
  return AsInt32(Loaded(form).window());
}

void Win32Host::Caption(Control control, TextView caption) {
  Loaded(control.form).SetCaption(control.name, Wide(caption));
}

VbBool Win32Host::Value(Control control) {
  // The choice as the host recorded it from the person's clicks, not the buttons' check marks,
  // which another program can set behind the host's back.
  return Loaded(control.form).selectedOption() == control.name ? kTrue : kFalse;
}

void Win32Host::Value(Control control, VbBool value) {
  FormWindow& window = Loaded(control.form);
  if (value == kFalse) {
    window.ClearOption(control.name);
    return;
  }
  if (window.selectedOption() == control.name) {
    return;  // already selected: nothing changes, so no click
  }
  window.SelectOption(control.name, false);
  // Raised inside the write, before it returns, as the form run time does.
  if (const auto handler = BoundHandler(control.form, control.name, Event::Click)) {
    program_->Raise(control.form, *handler);
  }
}

void Win32Host::Visible(Control control, VbBool visible) {
  ShowWindow(ControlWindow(control), visible != kFalse ? SW_SHOWNA : SW_HIDE);
}

void Win32Host::Enabled(Control control, VbBool enabled) {
  EnableWindow(ControlWindow(control), enabled != kFalse);
}

void Win32Host::Navigate2(Control browser, TextView url) {
  WebBrowserControl* control = Loaded(browser.form).Browser(browser.name);
  if (control == nullptr) {
    throw runtime_errors::InvalidProcedureCall();
  }
  if (const HRESULT result = control->Navigate2(Wide(url)); FAILED(result)) {
    throw AutomationError(result);
  }
}

std::int32_t Win32Host::MsgBox(TextView prompt, std::int32_t buttons, TextView title) {
  // A box after the commands have started waits for a person who may never come: the decision
  // is recorded now.
  if (record_->CommandsStarted()) {
    record_->DeclineConfirmed();
  }
  // The windows are hidden while a box asks, so it has no owner; it comes to the front itself.
  // No event of the program runs until it is answered.
  boxOpen_ = true;
  const std::optional<int> answer =
      AskWithMessageBox(Wide(prompt), Wide(title), static_cast<UINT>(buttons));
  boxOpen_ = false;
  if (!answer) {
    // Told to quit while the box asked: nobody answered it.
    EndFromOutside(RunRecord::Outside::QuitMessage);
  }
  return *answer;
}

void Win32Host::Shell(TextView pathname, std::int16_t windowStyle) {
  StartCommandLine(pathname, windowStyle);
  record_->CommandStarted(pathname);
}

void Win32Host::End() {
  record_->Ended();
  ExitProcess(0);
}

Text Win32Host::AppPath() {
  const std::optional<std::wstring> program = ModuleFileName();
  if (!program) {
    throw runtime_errors::FileNotFound();
  }
  // The folder, without a trailing separator: callers append "\index.html" directly.
  return FromWide(FolderOf(*program));
}

std::int32_t Win32Host::SetWindowPos(std::int32_t hWnd, std::int32_t hWndInsertAfter,
                                     std::int32_t x, std::int32_t y, std::int32_t cx,
                                     std::int32_t cy, std::int32_t wFlags) {
  return ::SetWindowPos(AsWindow(hWnd), AsWindow(hWndInsertAfter), x, y, cx, cy,
                        static_cast<UINT>(wFlags));
}

std::int32_t Win32Host::GetSystemMenu(std::int32_t hWnd, std::int32_t bRevert) {
  return AsInt32(::GetSystemMenu(AsWindow(hWnd), bRevert));
}

std::int32_t Win32Host::RemoveMenu(std::int32_t hMenu, std::int32_t nPosition,
                                   std::int32_t wFlags) {
  return ::RemoveMenu(reinterpret_cast<HMENU>(static_cast<INT_PTR>(hMenu)),
                      static_cast<UINT>(nPosition), static_cast<UINT>(wFlags));
}

std::unique_ptr<FileSystemObject> Win32Host::CreateFileSystemObject() {
  return CreateWindowsFileSystem();
}

}  // namespace termgate::win32
