// Hosts the system web browser control (CLSID_WebBrowser, "Shell.Explorer") as a child control
// of an ordinary Win32 window, through a small hand-written OLE container.
//
// Threading: everything here must run on one thread that has called OleInitialize (not merely
// CoInitializeEx: the browser relies on OLE drag-and-drop and clipboard support) and that pumps
// messages. Create, use and destroy a control on that thread only, before OleUninitialize.
// Create refuses other threads: CO_E_NOTINITIALIZED without COM, RPC_E_CHANGED_MODE in the MTA.
//
// Lifetime: the control may be destroyed before or after its parent window. When the parent goes
// first, the control shuts the browser down while the windows still exist and is left inert
// (window() returns nullptr, Navigate2 fails) until it is destroyed.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <exdisp.h>
#include <wrl/client.h>

#include <memory>
#include <string_view>

#include "windows_owners.h"

namespace termgate::win32 {

namespace browser_detail {
class BrowserSite;
}

class WebBrowserControl {
 public:
  // Creates the control as a child of `parent` occupying `bounds` (parent client pixels),
  // in-place active and visible, showing about:blank. On failure returns the failing HRESULT and
  // leaves `out` empty; nothing created on the way is left behind.
  static HRESULT Create(HWND parent, const RECT& bounds, std::unique_ptr<WebBrowserControl>& out);

  WebBrowserControl(const WebBrowserControl&) = delete;
  WebBrowserControl& operator=(const WebBrowserControl&) = delete;
  ~WebBrowserControl();

  // Starts navigating to `url` (IWebBrowser2::Navigate2) and returns its HRESULT. Returns at
  // once; a page that fails to load leaves the control blank and is not reported here.
  HRESULT Navigate2(std::wstring_view url);

  // Moves/resizes the control (parent client pixels), e.g. after WM_DPICHANGED.
  void SetBounds(const RECT& bounds);

  // The child window that stands for the control in the parent's z-order and tab order. The
  // browser's own windows are its descendants. nullptr once the parent window has been destroyed.
  HWND window() const { return host_.get(); }

  // Offers a keyboard message from the thread's message loop to the browser, so that Tab, arrow
  // keys and shortcuts work inside the page. Only messages aimed at this control's windows are
  // considered. Returns true when the browser consumed the message; the loop must then neither
  // translate nor dispatch it.
  bool TranslateAccelerator(MSG* msg);

 private:
  WebBrowserControl() = default;
  HRESULT Init(HWND parent, const RECT& bounds);
  void ActivateUi();
  void Shutdown();
  static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  unique_hwnd host_;
  Microsoft::WRL::ComPtr<browser_detail::BrowserSite> site_;
  Microsoft::WRL::ComPtr<IOleObject> object_;
  Microsoft::WRL::ComPtr<IOleInPlaceObject> inplace_;
  Microsoft::WRL::ComPtr<IOleInPlaceActiveObject> active_;
  Microsoft::WRL::ComPtr<IWebBrowser2> browser_;
};

}  // namespace termgate::win32
