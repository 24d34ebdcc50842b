#include "web_browser_control.h"

#include "browser_site.h"
#include "windows_helpers.h"

#include <oleauto.h>

#include <climits>
#include <new>

namespace termgate::win32 {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kHostClass[] = L"TermgateWebBrowserHost";

HRESULT LastErrorAsHresult() {
  const DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// The browser is apartment-threaded and works through windows of the calling thread. Created from
// an MTA it would live on a hidden COM thread behind proxies, with its windows parented across
// threads, and calls that stall; created with no COM at all it cannot work. Both are refused.
HRESULT RequireSingleThreadedApartment() {
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) {
    return hr;  // RPC_E_CHANGED_MODE: the thread is in the MTA.
  }
  CoUninitialize();  // Balances the probe, whether it found an STA (S_FALSE) or made one (S_OK).
  return hr == S_OK ? CO_E_NOTINITIALIZED : S_OK;
}

HRESULT RegisterHostClass(WNDPROC proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = ThisModule();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  // Shows through only until the browser's window covers the host, and stays if it never does.
  wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
  wc.lpszClassName = kHostClass;
  return RegisterWindowClassOnce(wc) ? S_OK : LastErrorAsHresult();
}

}  // namespace

HRESULT WebBrowserControl::Create(HWND parent, const RECT& bounds,
                                  std::unique_ptr<WebBrowserControl>& out) {
  out.reset();
  std::unique_ptr<WebBrowserControl> control(new (std::nothrow) WebBrowserControl());
  if (!control) {
    return E_OUTOFMEMORY;
  }
  // A half-built control is torn down by its destructor, which copes with any stage.
  const HRESULT hr = control->Init(parent, bounds);
  if (FAILED(hr)) {
    return hr;
  }
  out = std::move(control);
  return S_OK;
}

HRESULT WebBrowserControl::Init(HWND parent, const RECT& bounds) {
  HRESULT hr = RegisterHostClass(&HostProc);
  if (FAILED(hr)) {
    return hr;
  }
  // WS_TABSTOP lets dialog navigation land on the host, which hands the focus to the browser.
  HWND host = CreateWindowExW(
      0, kHostClass, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
      bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
      nullptr, ThisModule(), this);
  if (!host) {
    return LastErrorAsHresult();
  }
  host_.reset(host);

  site_ = browser_detail::BrowserSite::Create(host);
  if (!site_) {
    return E_OUTOFMEMORY;
  }
  if (FAILED(hr = RequireSingleThreadedApartment())) {
    return hr;
  }
  hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object_));
  if (FAILED(hr)) {
    return hr;
  }
  // The browser asks for its site before anything else (OLEMISC_SETCLIENTSITEFIRST) and creates
  // its window as a child of the site's window right here.
  hr = object_->SetClientSite(site_.Get());
  if (FAILED(hr)) {
    return hr;
  }
  if (FAILED(hr = object_.As(&inplace_)) || FAILED(hr = object_.As(&active_)) ||
      FAILED(hr = object_.As(&browser_))) {
    return hr;
  }
  // Best effort: no script error or security dialogs, and a file dropped on the page must not
  // replace it. The control is usable without either, so failures are not fatal.
  browser_->put_Silent(VARIANT_TRUE);
  browser_->put_RegisterAsDropTarget(VARIANT_FALSE);

  // In-place but not UI activation: the browser shows up without taking the focus, which the
  // wizard's own controls keep until the user moves it.
  RECT client{};
  GetClientRect(host, &client);
  hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.Get(), 0, host, &client);
  if (FAILED(hr)) {
    return hr;
  }
  hr = inplace_->SetObjectRects(&client, &client);
  if (FAILED(hr)) {
    return hr;
  }
  return Navigate2(L"about:blank");
}

WebBrowserControl::~WebBrowserControl() {
  Shutdown();
  if (HWND host = host_.release()) {
    // The object is going away: the host must not call back into it while being destroyed.
    SetWindowLongPtrW(host, GWLP_USERDATA, 0);
    DestroyWindow(host);
  }
}

void WebBrowserControl::Shutdown() {
  // Taken out of the members first: the browser sends window messages while it shuts down, and
  // the host procedure must then find an inert control rather than re-enter this.
  ComPtr<IOleObject> object = std::move(object_);
  ComPtr<IOleInPlaceObject> inplace = std::move(inplace_);
  ComPtr<browser_detail::BrowserSite> site = std::move(site_);
  active_.Reset();
  browser_.Reset();

  if (inplace) {
    inplace->InPlaceDeactivate();
  }
  if (object) {
    // Close may still call the site back (deactivation notices), so the site goes after it.
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
  }
  if (site) {
    // The browser may hold on to the site past this point; make sure it can no longer reach the
    // host window.
    site->Detach();
  }
}

HRESULT WebBrowserControl::Navigate2(std::wstring_view url) {
  if (!browser_) {
    return E_UNEXPECTED;
  }
  if (url.size() > UINT_MAX) {
    return E_INVALIDARG;
  }
  unique_variant target;
  target->bstrVal = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
  if (!target->bstrVal) {
    return E_OUTOFMEMORY;
  }
  target->vt = VT_BSTR;
  // A local reference: navigation may pump messages, and the parent could be destroyed meanwhile.
  const ComPtr<IWebBrowser2> browser = browser_;
  // No flags, target frame, post data or headers: a plain navigation in this control.
  return browser->Navigate2(target.get(), nullptr, nullptr, nullptr, nullptr);
}

void WebBrowserControl::SetBounds(const RECT& bounds) {
  if (!host_.get()) {
    return;
  }
  // The browser follows through the host's WM_SIZE.
  SetWindowPos(host_.get(), nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
               bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool WebBrowserControl::TranslateAccelerator(MSG* msg) {
  if (!msg || !active_ || !host_.get()) {
    return false;
  }
  if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) {
    return false;
  }
  if (msg->hwnd != host_.get() && !IsChild(host_.get(), msg->hwnd)) {
    return false;
  }
  ComPtr<IOleInPlaceActiveObject> active = active_;
  return active->TranslateAccelerator(msg) == S_OK;
}

void WebBrowserControl::ActivateUi() {
  if (!object_ || !site_) {
    return;
  }
  RECT client{};
  GetClientRect(host_.get(), &client);
  ComPtr<IOleObject> object = object_;
  object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site_.Get(), 0, host_.get(), &client);
}

LRESULT CALLBACK WebBrowserControl::HostProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  auto* self = WindowInstance<WebBrowserControl>(window, message, lParam);
  if (!self) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  switch (message) {
    case WM_SIZE:
      if (self->inplace_) {
        const RECT rect{0, 0, static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))};
        ComPtr<IOleInPlaceObject> inplace = self->inplace_;
        inplace->SetObjectRects(&rect, &rect);
      }
      return 0;
    case WM_SETFOCUS:
      self->ActivateUi();
      return 0;
    case WM_DESTROY:
      // The parent is being destroyed with the control still alive: shut the browser down while
      // its windows still exist, instead of letting them be destroyed underneath it.
      self->Shutdown();
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      self->host_.release();
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace termgate::win32
