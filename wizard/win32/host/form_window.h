// One of the program's windows, built from its layout alone: the top-level window with the
// layout's frame and colours, and its controls in creation order, placed and sized from twips at
// the window's DPI.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "layouts.h"
#include "windows_owners.h"
#include "web_browser_control.h"

namespace termgate::win32 {

class FormWindow {
 public:
  // `onClicked` hears every click of a button or option button of the window (BN_CLICKED); it
  // must not throw.
  using ClickListener = std::function<void(ControlName)>;

  // Creates the window hidden, with all its controls. Throws RuntimeError when a window or a
  // browser control cannot be created.
  FormWindow(const WindowLayout& layout, ClickListener onClicked);
  ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  HWND window() const { return window_.get(); }
  HWND ControlWindow(ControlName name) const;
  WebBrowserControl* Browser(ControlName name) const;
  const WindowLayout& layout() const { return layout_; }

  // Shows the window in front and gives the keyboard focus to its first tab stop.
  void Show();
  void Hide();
  // After the program selects an option: moves the focus to it from the other option.
  void FollowSelection(ControlName selected);
  // Writes a control's caption; a label that names an option tells screen readers so.
  void SetCaption(ControlName name, const std::wstring& caption);

  // Keyboard handling of the thread's message loop: the browser's own keys, then dialog
  // navigation (Tab, arrow keys, Space). True when the message was handled.
  bool PreTranslateMessage(MSG& message);

 private:
  struct Child {
    const ControlLayout* layout;
    HWND window;  // owned by the top-level window (or by `browser`)
    std::unique_ptr<WebBrowserControl> browser;
    WNDPROC buttonProc = nullptr;  // a labelled option's own window procedure, which it wraps
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Wraps a labelled option button: answers screen readers with the label's text.
  static LRESULT CALLBACK LabelledOptionProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void CreateControls();
  void OrderByTabIndex();
  // Sizes, places and sets the fonts of everything for `dpi`. The window goes to `suggested`
  // (what Windows proposes on a change of DPI) or, without one, where the layout puts it.
  void ApplyDpi(UINT dpi, const RECT* suggested);
  // The window's outer size at `dpi`.
  SIZE WindowSize(UINT dpi) const;
  const Child* ChildOfWindow(HWND window) const;
  // Where the keyboard focus of an option is drawn: around the option and its label.
  RECT FocusRingOf(const Child& option) const;
  void PaintFocusRing(HDC dc) const;
  HBRUSH BrushOf(Rgb color);
  DWORD Style() const;
  DWORD ExStyle() const;

  const WindowLayout& layout_;
  ClickListener onClicked_;
  unique_hbrush background_;
  std::vector<std::pair<Rgb, unique_hbrush>> controlBrushes_;
  unique_hwnd window_;
  std::vector<Child> children_;
  std::vector<unique_hfont> fonts_;  // one per child with a font of its own, and the default
  UINT dpi_ = 96;
  HWND focusBeforeDeactivation_ = nullptr;
};

}  // namespace termgate::win32
