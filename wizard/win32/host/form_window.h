// One of the program's windows, built from its layout alone: the top-level window with the
// layout's frame and colours, and its controls in creation order, placed and sized from twips at
// the window's DPI.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "layouts.h"
#include "windows_owners.h"
#include "web_browser_control.h"

namespace termgate::win32 {

class FormWindow {
 public:
  // What the window hears that its owner decides on. Neither call may throw.
  class Listener {
   public:
    // A click on a control: a button or option button (BN_CLICKED), a label that names an option
    // (STN_CLICKED), or Enter on the focused button.
    virtual void Clicked(Form form, const ControlLayout& control) = 0;
    // The session ends (WM_ENDSESSION): the process may be ended as soon as this returns.
    virtual void SessionEnds() = 0;
    // Called inside a catch block, when the window's own work failed with an exception that must
    // not unwind into Windows' frames (out of memory for a brush or a font).
    virtual void Failed() = 0;

   protected:
    ~Listener() = default;
  };

  // Creates the window hidden, with all its controls. Throws RuntimeError when a window or a
  // browser control cannot be created.
  FormWindow(const WindowLayout& layout, Listener& listener);
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

  // Whether a person can click `control` now: it and the window are on screen and enabled.
  bool TakesInput(const ControlLayout& control) const;

  // The option buttons. The selection is the option the program last saw chosen; the check marks
  // show it, except while an auto radio button that checked itself awaits the program's verdict.
  std::optional<ControlName> selectedOption() const { return selectedOption_; }
  bool IsChecked(ControlName option) const;
  // Checks `option` and clears the others. The keyboard focus goes to it when `takeFocus`, and
  // otherwise when it was on another option, so that Space there cannot undo the choice.
  void SelectOption(ControlName option, bool takeFocus);
  void ClearOption(ControlName option);
  // Puts the check marks back as the selection says, after a click the program refused.
  void RestoreSelection();
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

  void ShowSelection();
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
  Listener& listener_;
  unique_hbrush background_;
  std::vector<std::pair<Rgb, unique_hbrush>> controlBrushes_;
  std::vector<Child> children_;
  std::vector<unique_hfont> fonts_;  // one per child with a font of its own, and the default
  std::optional<ControlName> selectedOption_;
  UINT dpi_ = 96;
  HWND focusBeforeDeactivation_ = nullptr;
  // Declared last, so destroyed first, also when the constructor throws: destroying the window
  // sends its controls their last messages, which still find the children and fonts above.
  unique_hwnd window_;
};

}  // namespace termgate::win32
