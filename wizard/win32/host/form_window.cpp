#include "form_window.h"

#include <algorithm>

#include "control_ids.h"
#include "dpi.h"
#include "option_accessible.h"
#include "runtime_error.h"
#include "wide_text.h"
#include "windows_helpers.h"

namespace termgate::win32 {

namespace {

COLORREF ColorOf(Rgb rgb) {
  return RGB(rgb.red, rgb.green, rgb.blue);
}

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = ThisModule();
  windowClass.hIcon = LoadIconW(ThisModule(), MAKEINTRESOURCEW(1));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.lpszClassName = name;
  if (!RegisterWindowClassOnce(windowClass)) {
    throw runtime_errors::OutOfMemory();
  }
}

// The procedure of the system's BUTTON class, which every labelled option wraps: what a message
// goes to when its option is no longer known here.
WNDPROC buttonClassProc = nullptr;

// From a quarter of the standard DPI to twenty times it: what displays and scaling settings give.
bool IsPlausibleDpi(UINT dpi) {
  return dpi >= kDefaultDpi / 4 && dpi <= kDefaultDpi * 20;
}

// Whether the message in hand was sent by another thread: by another program, since this one has
// one thread with windows.
bool SentByAnotherThread() {
  return (InSendMessageEx(nullptr) & ISMEX_SEND) != 0;
}

bool StartsGroup(const std::vector<const ControlLayout*>& inTabOrder, std::size_t index) {
  // Option buttons next to each other in tab order form one group; everything else is a group
  // of its own, which also ends the option group before it.
  return index == 0 || inTabOrder[index]->kind != ControlKind::OptionButton ||
         inTabOrder[index - 1]->kind != ControlKind::OptionButton;
}

}  // namespace

FormWindow::FormWindow(const WindowLayout& layout, Listener& listener)
    : layout_(layout),
      listener_(listener),
      background_(CreateSolidBrush(ColorOf(layout.background))) {
  const std::wstring className = WindowClassOf(layout.form);
  RegisterWindowClass(className.c_str(), &FormWindow::WindowProc);
  const HWND created = CreateWindowExW(ExStyle(), className.c_str(), Wide(layout.title).c_str(),
                                       Style(), CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                       CW_USEDEFAULT, nullptr, nullptr, ThisModule(), this);
  if (created == nullptr) {
    throw runtime_errors::OutOfMemory();
  }
  window_.reset(created);
  dpi_ = DpiOfWindow(created);
  CreateControls();
  OrderByTabIndex();
  ApplyDpi(dpi_, nullptr);
}

FormWindow::~FormWindow() {
  // Browsers first, while their parent still exists, so they shut down in order.
  for (Child& child : children_) {
    child.browser.reset();
  }
  window_.reset();
}

DWORD FormWindow::Style() const {
  DWORD style = WS_POPUP | WS_CLIPCHILDREN;
  if (layout_.titleBar == TitleBar::None) {
    style |= WS_BORDER;  // a thin frame and nothing else
  } else {
    style |= WS_CAPTION;
  }
  if (layout_.controlBox) {
    style |= WS_SYSMENU;
  }
  if (layout_.minButton) {
    style |= WS_MINIMIZEBOX;
  }
  if (layout_.maxButton) {
    style |= WS_MAXIMIZEBOX;
  }
  if (layout_.resizable) {
    style |= WS_THICKFRAME;
  }
  return style;
}

DWORD FormWindow::ExStyle() const {
  // A tool window has a small title bar and, unowned, no taskbar button either.
  DWORD exStyle = WS_EX_CONTROLPARENT;
  if (!layout_.showInTaskbar || layout_.titleBar == TitleBar::ToolWindowWithCloseBox) {
    exStyle |= WS_EX_TOOLWINDOW;
  }
  return exStyle;
}

void FormWindow::CreateControls() {
  std::vector<const ControlLayout*> inTabOrder;
  for (const ControlLayout& control : layout_.controls) {
    inTabOrder.push_back(&control);
  }
  std::sort(
      inTabOrder.begin(), inTabOrder.end(),
      [](const ControlLayout* a, const ControlLayout* b) { return a->tabIndex < b->tabIndex; });

  const RECT nowhere{0, 0, 1, 1};  // ApplyDpi places everything
  for (const ControlLayout& control : layout_.controls) {
    Child child{&control, nullptr, nullptr};
    if (control.kind == ControlKind::WebBrowser) {
      if (FAILED(WebBrowserControl::Create(window(), nowhere, child.browser))) {
        throw runtime_errors::CannotCreateObject();
      }
      child.window = child.browser->window();
      SetWindowLongPtrW(child.window, GWLP_ID, ControlId(control.name));
      // Pages are read with the mouse; keeping them out of the Tab cycle keeps Tab on the
      // choices and the button instead of getting lost inside a document.
      const LONG_PTR style = GetWindowLongPtrW(child.window, GWL_STYLE);
      SetWindowLongPtrW(child.window, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    } else {
      const std::size_t tabPosition = static_cast<std::size_t>(
          std::find(inTabOrder.begin(), inTabOrder.end(), &control) - inTabOrder.begin());
      DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
      const wchar_t* windowClass = L"BUTTON";
      switch (control.kind) {
        case ControlKind::CommandButton:
          style |= BS_PUSHBUTTON | WS_TABSTOP;
          break;
        case ControlKind::OptionButton:
          // BS_NOTIFY: focus changes arrive as BN_SETFOCUS and BN_KILLFOCUS, which move the
          // focus ring.
          style |= BS_AUTORADIOBUTTON | BS_NOTIFY;
          break;
        case ControlKind::Label:
          windowClass = L"STATIC";
          style |= SS_LEFT | SS_NOPREFIX;
          // The words beside an option answer a click as the option does (STN_CLICKED); other
          // labels let clicks through to the window.
          if (ControlLabelledBy(layout_.form, control.name) != nullptr) {
            style |= SS_NOTIFY;
          }
          break;
        case ControlKind::WebBrowser:
          break;
      }
      if (StartsGroup(inTabOrder, tabPosition)) {
        // The first option of a group is its tab stop; the arrow keys move within it.
        style |= WS_GROUP | (control.kind == ControlKind::OptionButton ? WS_TABSTOP : 0);
      }
      if (control.visible) {
        style |= WS_VISIBLE;
      }
      if (!control.enabled) {
        style |= WS_DISABLED;
      }
      child.window = CreateWindowExW(
          0, windowClass, Wide(control.caption).c_str(), style, 0, 0, 1, 1, window(),
          reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(control.name))), ThisModule(),
          nullptr);
      if (child.window == nullptr) {
        throw runtime_errors::OutOfMemory();
      }
      if (control.labelledBy) {
        SetWindowLongPtrW(child.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        child.buttonProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            child.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LabelledOptionProc)));
        buttonClassProc = child.buttonProc;
      }
    }
    children_.push_back(std::move(child));
  }
}

void FormWindow::OrderByTabIndex() {
  // The dialog manager walks siblings in z-order, so z-order is the tab order.
  std::vector<const Child*> ordered;
  for (const Child& child : children_) {
    ordered.push_back(&child);
  }
  std::sort(ordered.begin(), ordered.end(), [](const Child* a, const Child* b) {
    return a->layout->tabIndex < b->layout->tabIndex;
  });
  HWND after = HWND_TOP;
  for (const Child* child : ordered) {
    SetWindowPos(child->window, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = child->window;
  }
}

SIZE FormWindow::WindowSize(UINT dpi) const {
  const SIZE client{TwipsToPixels(layout_.clientWidth, dpi),
                    TwipsToPixels(layout_.clientHeight, dpi)};
  const RECT outer = WindowRectForClient(client, Style(), ExStyle(), dpi);
  return SIZE{outer.right - outer.left, outer.bottom - outer.top};
}

void FormWindow::ApplyDpi(UINT dpi, const RECT* suggested) {
  dpi_ = dpi;
  // The old fonts go only after every control has its new one: a control draws with the font it
  // was given until WM_SETFONT replaces it.
  std::vector<unique_hfont> fonts;
  const LOGFONTW defaultFont = DefaultFont(dpi);
  fonts.emplace_back(CreateFontIndirectW(&defaultFont));
  const HFONT hostDefault = fonts.front().get();

  for (Child& child : children_) {
    const RECT bounds = PixelRect(*child.layout, dpi);
    if (child.browser) {
      child.browser->SetBounds(bounds);
      continue;
    }
    SetWindowPos(child.window, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                 bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
    HFONT chosen = hostDefault;
    if (child.layout->font) {
      const LOGFONTW logFont = LayoutFont(*child.layout->font, dpi);
      fonts.emplace_back(CreateFontIndirectW(&logFont));
      chosen = fonts.back().get();
    }
    SendMessageW(child.window, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
  }
  SendMessageW(window(), WM_SETFONT, reinterpret_cast<WPARAM>(hostDefault), FALSE);
  fonts_ = std::move(fonts);

  // Everything moved, the focus ring too: the whole window is drawn again.
  RedrawWindow(window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  if (suggested != nullptr) {
    SetWindowPos(window(), nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return;
  }
  const SIZE size = WindowSize(dpi);
  const int width = size.cx;
  const int height = size.cy;
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  int x = 0;
  int y = 0;
  if (layout_.centerOnScreen) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    // A window larger than the work area keeps its top-left corner, and so its title bar, on
    // screen.
    x = std::max(work.left, work.left + (work.right - work.left - width) / 2);
    y = std::max(work.top, work.top + (work.bottom - work.top - height) / 2);
  } else {
    flags |= SWP_NOMOVE;
  }
  SetWindowPos(window(), nullptr, x, y, width, height, flags);
}

HWND FormWindow::ControlWindow(ControlName name) const {
  for (const Child& child : children_) {
    if (child.layout->name == name) {
      return child.window;
    }
  }
  return nullptr;
}

WebBrowserControl* FormWindow::Browser(ControlName name) const {
  for (const Child& child : children_) {
    if (child.layout->name == name) {
      return child.browser.get();
    }
  }
  return nullptr;
}

HBRUSH FormWindow::BrushOf(Rgb color) {
  if (color == layout_.background) {
    return background_.get();
  }
  for (const auto& [rgb, brush] : controlBrushes_) {
    if (rgb == color) {
      return brush.get();
    }
  }
  controlBrushes_.emplace_back(color, unique_hbrush(CreateSolidBrush(ColorOf(color))));
  return controlBrushes_.back().second.get();
}

const FormWindow::Child* FormWindow::ChildOfWindow(HWND window) const {
  for (const Child& child : children_) {
    if (child.window == window) {
      return &child;
    }
  }
  return nullptr;
}

void FormWindow::Show() {
  ShowWindow(window(), SW_SHOW);
  SetForegroundWindow(window());
  // Activation gives the focus back to the control that had it when the window was hidden;
  // a window shown for the first time starts at its first tab stop.
  if (!IsChild(window(), GetFocus())) {
    if (const HWND first = GetNextDlgTabItem(window(), nullptr, FALSE)) {
      SetFocus(first);
    }
  }
}

bool FormWindow::TakesInput(const ControlLayout& control) const {
  // IsWindowVisible covers the window too; a click posted to a hidden window or a hidden or
  // disabled control is not one a person made.
  const HWND child = ControlWindow(control.name);
  return child != nullptr && IsWindowVisible(child) && IsWindowEnabled(child) &&
         IsWindowEnabled(window());
}

bool FormWindow::IsChecked(ControlName option) const {
  return SendMessageW(ControlWindow(option), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void FormWindow::SelectOption(ControlName option, bool takeFocus) {
  const Child* focused = ChildOfWindow(GetFocus());
  selectedOption_ = option;
  ShowSelection();
  // The keyboard stays with the chosen option: Space on the other one must not undo the choice.
  const bool onOtherOption = focused != nullptr &&
                             focused->layout->kind == ControlKind::OptionButton &&
                             focused->layout->name != option;
  if (takeFocus || onOtherOption) {
    SetFocus(ControlWindow(option));
  }
}

void FormWindow::ClearOption(ControlName option) {
  if (selectedOption_ == option) {
    selectedOption_.reset();
  }
  SendMessageW(ControlWindow(option), BM_SETCHECK, BST_UNCHECKED, 0);
}

void FormWindow::RestoreSelection() {
  ShowSelection();
}

void FormWindow::ShowSelection() {
  for (const Child& child : children_) {
    if (child.layout->kind == ControlKind::OptionButton) {
      SendMessageW(child.window, BM_SETCHECK,
                   selectedOption_ == child.layout->name ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  }
}

void FormWindow::SetCaption(ControlName name, const std::wstring& caption) {
  SetWindowTextW(ControlWindow(name), caption.c_str());
  for (const Child& child : children_) {
    if (child.layout->labelledBy == name) {
      AnnounceNameChange(child.window);
    }
  }
}

RECT FormWindow::FocusRingOf(const Child& option) const {
  RECT ring = PixelRect(*option.layout, dpi_);
  if (option.layout->labelledBy) {
    const RECT label = PixelRect(LayoutOf(Control{layout_.form, *option.layout->labelledBy}), dpi_);
    UnionRect(&ring, &ring, &label);
  }
  // Outside the controls, which clip the window's own painting, and clear of their neighbours.
  const int gap = MulDiv(3, static_cast<int>(dpi_), static_cast<int>(kDefaultDpi));
  InflateRect(&ring, gap, gap);
  return ring;
}

void FormWindow::PaintFocusRing(HDC dc) const {
  const Child* focused = ChildOfWindow(GetFocus());
  if (focused == nullptr || focused->layout->kind != ControlKind::OptionButton) {
    return;
  }
  // The button's own cue is a dotted box around its hidden caption, a pixel or two wide; this
  // frames the whole choice, option and label, in the selection colour.
  RECT ring = FocusRingOf(*focused);
  const int thickness =
      std::max(1, MulDiv(2, static_cast<int>(dpi_), static_cast<int>(kDefaultDpi)));
  for (int i = 0; i < thickness; ++i) {
    FrameRect(dc, &ring, GetSysColorBrush(COLOR_HIGHLIGHT));
    InflateRect(&ring, -1, -1);
  }
}

void FormWindow::Hide() {
  ShowWindow(window(), SW_HIDE);
}

bool FormWindow::PreTranslateMessage(MSG& message) {
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST) {
    return false;
  }
  if (message.hwnd != window() && !IsChild(window(), message.hwnd)) {
    return false;
  }
  for (Child& child : children_) {
    if (child.browser && child.browser->TranslateAccelerator(&message)) {
      return true;
    }
  }
  return IsDialogMessageW(window(), &message) != FALSE;
}

LRESULT CALLBACK FormWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = WindowInstance<FormWindow>(window, message, lParam);
  if (self == nullptr || self->window() == nullptr) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    self->listener_.Failed();
    return 0;
  }
}

LRESULT CALLBACK FormWindow::LabelledOptionProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  const auto* self = reinterpret_cast<const FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  const Child* child = self != nullptr ? self->ChildOfWindow(window) : nullptr;
  if (child == nullptr) {
    // Its window outlived the list of children (a window being torn down): the button's own
    // procedure still takes its last messages.
    return CallWindowProcW(buttonClassProc, window, message, wParam, lParam);
  }
  // The host alone sets an option's check mark and pushed state; another program that sends
  // them would show a choice nobody made.
  if ((message == BM_SETCHECK || message == BM_SETSTATE) && SentByAnotherThread()) {
    return 0;
  }
  // OBJID_CLIENT arrives as a 32-bit value, also in a 64-bit lParam.
  if (message == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_CLIENT) {
    if (const LRESULT object = AnswerAccessibleObject(
            window, self->ControlWindow(*child->layout->labelledBy), wParam)) {
      return object;
    }
  }
  return CallWindowProcW(child->buttonProc, window, message, wParam, lParam);
}

LRESULT FormWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (SentByAnotherThread() && (HIWORD(wParam) == BN_CLICKED || LOWORD(wParam) == IDOK)) {
        // A click that another program sent (a button's BM_CLICK, or this command itself) runs
        // once that program has its answer, from the queue like any other: a handler it starts,
        // and a box that handler opens, never run inside another program's call, where nothing
        // could tell the box's own work from that program's.
        PostMessageW(window(), message, wParam, lParam);
        return 0;
      }
      if ((HIWORD(wParam) == BN_SETFOCUS || HIWORD(wParam) == BN_KILLFOCUS) &&
          LOWORD(wParam) >= kFirstControlId) {
        if (const Child* child = ChildOfWindow(reinterpret_cast<HWND>(lParam))) {
          const RECT ring = FocusRingOf(*child);
          InvalidateRect(window(), &ring, TRUE);
        }
      } else if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) >= kFirstControlId) {
        // STN_CLICKED, a label's click, has the same code.
        if (const Child* child = ChildOfWindow(reinterpret_cast<HWND>(lParam))) {
          listener_.Clicked(layout_.form, *child->layout);
        }
      } else if (LOWORD(wParam) == IDOK && lParam == 0) {
        // Enter: these windows have no default button, so Enter presses the focused one, as
        // in a dialog. Escape (IDCANCEL) has nothing to cancel.
        const Child* focused = ChildOfWindow(GetFocus());
        if (focused != nullptr && focused->layout->kind == ControlKind::CommandButton) {
          listener_.Clicked(layout_.form, *focused->layout);
        }
      }
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      // Labels and option buttons paint on their layout's background; push buttons get the
      // window's colour in the corners around them.
      if (const Child* child = ChildOfWindow(reinterpret_cast<HWND>(lParam));
          child != nullptr && child->layout->background) {
        SetBkColor(reinterpret_cast<HDC>(wParam), ColorOf(*child->layout->background));
        return reinterpret_cast<LRESULT>(BrushOf(*child->layout->background));
      }
      if (message == WM_CTLCOLORBTN) {
        return reinterpret_cast<LRESULT>(background_.get());
      }
      break;
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(window(), &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, background_.get());
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (const HDC dc = BeginPaint(window(), &paint)) {
        PaintFocusRing(dc);
        EndPaint(window(), &paint);
      }
      return 0;
    }
    case WM_CLOSE:
      // Neither window closes: the program's own End and the end of the session are the only
      // ways out.
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        focusBeforeDeactivation_ = IsChild(window(), focus) ? focus : nullptr;
      } else if (focusBeforeDeactivation_ != nullptr && IsWindowVisible(focusBeforeDeactivation_)) {
        SetFocus(focusBeforeDeactivation_);
        return 0;
      }
      break;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wParam != FALSE) {
        listener_.SessionEnds();
      }
      return 0;
    // Only the system sends these two, with pointers to its own data (the host drops them when
    // posted). One that another thread sent may carry any pointer, which is never touched; what
    // comes from the window's own thread is still checked before use.
    case WM_GETDPISCALEDSIZE:
      // The size for the new DPI comes from twips, as at creation, rather than from scaling
      // pixels that were rounded once already. FALSE leaves Windows to scale the size itself.
      if (lParam == 0 || SentByAnotherThread() || !IsPlausibleDpi(static_cast<UINT>(wParam))) {
        return FALSE;
      }
      *reinterpret_cast<SIZE*>(lParam) = WindowSize(static_cast<UINT>(wParam));
      return TRUE;
    case WM_DPICHANGED: {
      if (SentByAnotherThread()) {
        // Only the DPI that Windows itself reports for the window counts; a change it knows of
        // is applied with the window placed by the layout.
        if (const UINT dpi = DpiOfWindow(window()); dpi != dpi_ && IsPlausibleDpi(dpi)) {
          ApplyDpi(dpi, nullptr);
        }
        return 0;
      }
      // Windows proposes a rectangle that keeps the window under the mouse and on the monitor,
      // sized from the answer to WM_GETDPISCALEDSIZE.
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      if (IsPlausibleDpi(HIWORD(wParam))) {
        ApplyDpi(HIWORD(wParam), suggested != nullptr && suggested->right > suggested->left &&
                                         suggested->bottom > suggested->top
                                     ? suggested
                                     : nullptr);
      }
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window(), message, wParam, lParam);
}

}  // namespace termgate::win32
