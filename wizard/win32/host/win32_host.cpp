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

}  // namespace

int Win32Host::Run(EventSink& program) {
  program_ = &program;
  AtTopLevel([this] { Loaded(kStartupForm); });
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
  // Told to quit (WM_QUIT) with no answer given: nothing was started, and the status says so.
  return kExitWithoutAnswer;
}

FormWindow& Win32Host::Loaded(Form form) {
  std::unique_ptr<FormWindow>& slot = forms_[IndexOf(form)];
  if (!slot) {
    slot = std::make_unique<FormWindow>(
        LayoutOf(form), [this, form](ControlName control) { OnClicked(form, control); });
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

bool Win32Host::TakesInput(Form form, ControlName control) {
  if (boxOpen_) {
    return false;
  }
  // IsWindowVisible covers the window too; a click posted to a hidden window or a hidden or
  // disabled control is not one a person made.
  const HWND window = Loaded(form).window();
  const HWND child = ControlWindow({form, control});
  return IsWindowVisible(child) && IsWindowEnabled(child) && IsWindowEnabled(window);
}

void Win32Host::RestoreSelection(Form form) {
  // An auto radio button checks itself on any click; undo that when the click is refused.
  const FormWindow& window = Loaded(form);
  for (const ControlLayout& control : window.layout().controls) {
    if (control.kind == ControlKind::OptionButton) {
      SendMessageW(window.ControlWindow(control.name), BM_SETCHECK,
                   selectedOption_[IndexOf(form)] == control.name ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  }
}

void Win32Host::OnClicked(Form form, ControlName control) {
  const ControlKind kind = LayoutOf(Control{form, control}).kind;
  if (!TakesInput(form, control)) {
    if (kind == ControlKind::OptionButton) {
      RestoreSelection(form);
    }
    return;
  }
  if (kind == ControlKind::OptionButton) {
    // Auto radio buttons report every click; only one that selects raises the handler.
    const bool checked =
        SendMessageW(ControlWindow({form, control}), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (!checked || selectedOption_[IndexOf(form)] == control) {
      return;
    }
    selectedOption_[IndexOf(form)] = control;
  }
  if (const auto handler = BoundHandler(form, control, Event::Click)) {
    AtTopLevel([this, form, handler] { program_->Raise(form, *handler); });
  }
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
  return SendMessageW(ControlWindow(control), BM_GETCHECK, 0, 0) == BST_CHECKED ? kTrue : kFalse;
}

void Win32Host::Value(Control control, VbBool value) {
  if (value == kFalse) {
    SendMessageW(ControlWindow(control), BM_SETCHECK, BST_UNCHECKED, 0);
    if (selectedOption_[IndexOf(control.form)] == control.name) {
      selectedOption_[IndexOf(control.form)].reset();
    }
    return;
  }
  SelectOption(control);
}

void Win32Host::SelectOption(Control option) {
  FormWindow& window = Loaded(option.form);
  if (selectedOption_[IndexOf(option.form)] == option.name) {
    return;  // already selected: nothing changes, so no click
  }
  for (const ControlLayout& control : window.layout().controls) {
    if (control.kind == ControlKind::OptionButton) {
      SendMessageW(window.ControlWindow(control.name), BM_SETCHECK,
                   control.name == option.name ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  }
  selectedOption_[IndexOf(option.form)] = option.name;
  window.FollowSelection(option.name);
  // Raised inside the write, before it returns, as the form run time does.
  if (const auto handler = BoundHandler(option.form, option.name, Event::Click)) {
    program_->Raise(option.form, *handler);
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
  // The windows are hidden while a box asks, so it has no owner; it comes to the front itself.
  // No event of the program runs until it is answered.
  boxOpen_ = true;
  const std::optional<int> answer =
      AskWithMessageBox(Wide(prompt), Wide(title), static_cast<UINT>(buttons));
  boxOpen_ = false;
  if (!answer) {
    // Nobody pressed a button: the program ends here, before anything the answer would start.
    ExitProcess(kExitWithoutAnswer);
  }
  return *answer;
}

void Win32Host::Shell(TextView pathname, std::int16_t windowStyle) {
  StartCommandLine(pathname, windowStyle);
}

void Win32Host::End() {
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
