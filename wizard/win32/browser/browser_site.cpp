#include "browser_site.h"

#include <idispids.h>
#include <mshtmdid.h>

#include <new>
#include <utility>

namespace termgate::win32::browser_detail {
namespace {

using Microsoft::WRL::ComPtr;

// What the browser may fetch and run for the pages Termgate shows: pictures and media yes;
// ActiveX controls and Java never, so that no page can make it offer a download or an install;
// DLCTL_SILENT keeps its own dialogs away. Returning the ambient replaces the browser's defaults,
// which is why images, videos and background sounds are listed.
constexpr DWORD kDownloadControl = DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS | DLCTL_NO_JAVA |
                                   DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_DLACTIVEXCTLS | DLCTL_SILENT;

// Flat look inside a dialog-like window, themed scrollbars (long pages keep their scrollbar),
// and page zoom that follows the system DPI because Termgate itself is DPI aware.
constexpr DWORD kHostFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_NO3DOUTERBORDER |
                             DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_THEME |
                             DOCHOSTUIFLAG_DPI_AWARE;

// Browser shortcuts that would lead away from the page the wizard put there: another browser
// window (Ctrl+N), the Open dialog (Ctrl+O, Ctrl+L) or a step through history (Alt+Left/Right,
// Alt+Home, the keyboard's browser keys).
bool LeavesThePage(const MSG& msg) {
  const bool alt = msg.message == WM_SYSKEYDOWN;
  if (msg.message != WM_KEYDOWN && !alt) {
    return false;
  }
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  switch (msg.wParam) {
    case VK_BROWSER_BACK:
    case VK_BROWSER_FORWARD:
    case VK_BROWSER_HOME:
    case VK_BROWSER_SEARCH:
    case VK_BROWSER_FAVORITES:
      return true;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_HOME:
      return alt;
    case 'N':
    case 'O':
    case 'L':
      return ctrl && !alt;
    default:
      return false;
  }
}

}  // namespace

// ---- BrowserFrame --------------------------------------------------------------------------

ComPtr<BrowserFrame> BrowserFrame::Create(HWND host) {
  return MakeComObject<BrowserFrame>(host);
}

HRESULT BrowserFrame::GetWindow(HWND* hwnd) {
  if (!hwnd) {
    return E_POINTER;
  }
  *hwnd = host_ ? GetAncestor(host_, GA_ROOT) : nullptr;
  return *hwnd ? S_OK : E_FAIL;
}

HRESULT BrowserFrame::ContextSensitiveHelp(BOOL) {
  return E_NOTIMPL;
}

HRESULT BrowserFrame::GetBorder(LPRECT) {
  return INPLACE_E_NOTOOLSPACE;
}

HRESULT BrowserFrame::RequestBorderSpace(LPCBORDERWIDTHS) {
  return INPLACE_E_NOTOOLSPACE;
}

HRESULT BrowserFrame::SetBorderSpace(LPCBORDERWIDTHS widths) {
  // Only "no tools at all" can be honoured.
  if (!widths ||
      (widths->left == 0 && widths->top == 0 && widths->right == 0 && widths->bottom == 0)) {
    return S_OK;
  }
  return OLE_E_INVALIDRECT;
}

// The control asks the browser object for IOleInPlaceActiveObject directly, so the announcement
// carries nothing it needs.
HRESULT BrowserFrame::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) {
  return S_OK;
}

HRESULT BrowserFrame::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS widths) {
  if (widths) {
    // The container's groups (File, Container, Window) are empty.
    widths->width[0] = 0;
    widths->width[2] = 0;
    widths->width[4] = 0;
  }
  return S_OK;
}

HRESULT BrowserFrame::SetMenu(HMENU, HOLEMENU, HWND) {
  return S_OK;
}

HRESULT BrowserFrame::RemoveMenus(HMENU) {
  return S_OK;
}

HRESULT BrowserFrame::SetStatusText(LPCOLESTR) {
  return S_OK;
}

HRESULT BrowserFrame::EnableModeless(BOOL) {
  return S_OK;
}

HRESULT BrowserFrame::TranslateAccelerator(LPMSG, WORD) {
  return S_FALSE;
}

// ---- BrowserSite ---------------------------------------------------------------------------

BrowserSite::BrowserSite(HWND host, ComPtr<BrowserFrame> frame)
    : host_(host), frame_(std::move(frame)) {}

ComPtr<BrowserSite> BrowserSite::Create(HWND host) {
  ComPtr<BrowserFrame> frame = BrowserFrame::Create(host);
  if (!frame) {
    return nullptr;
  }
  return MakeComObject<BrowserSite>(host, std::move(frame));
}

void BrowserSite::Detach() {
  host_ = nullptr;
  if (frame_) {
    frame_->Detach();
  }
  frame_.Reset();
}

// IOleClientSite: nothing is persisted and there is no document container to enumerate.

HRESULT BrowserSite::SaveObject() {
  return E_NOTIMPL;
}

HRESULT BrowserSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) {
    *moniker = nullptr;
  }
  return E_NOTIMPL;
}

HRESULT BrowserSite::GetContainer(IOleContainer** container) {
  if (container) {
    *container = nullptr;
  }
  return E_NOINTERFACE;
}

HRESULT BrowserSite::ShowObject() {
  return S_OK;
}

HRESULT BrowserSite::OnShowWindow(BOOL) {
  return S_OK;
}

HRESULT BrowserSite::RequestNewObjectLayout() {
  return E_NOTIMPL;
}

// IOleInPlaceSite

HRESULT BrowserSite::GetWindow(HWND* hwnd) {
  if (!hwnd) {
    return E_POINTER;
  }
  *hwnd = host_;
  return host_ ? S_OK : E_FAIL;
}

HRESULT BrowserSite::ContextSensitiveHelp(BOOL) {
  return E_NOTIMPL;
}

HRESULT BrowserSite::CanInPlaceActivate() {
  return host_ ? S_OK : S_FALSE;
}

HRESULT BrowserSite::OnInPlaceActivate() {
  return S_OK;
}

HRESULT BrowserSite::OnUIActivate() {
  return S_OK;
}

HRESULT BrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                      LPRECT posRect, LPRECT clipRect,
                                      LPOLEINPLACEFRAMEINFO frameInfo) {
  if (!frame || !doc || !posRect || !clipRect || !frameInfo) {
    return E_POINTER;
  }
  *frame = nullptr;
  // The frame doubles as the document window, as in any single-document container.
  *doc = nullptr;
  if (!host_ || !frame_) {
    return E_UNEXPECTED;
  }
  // The browser always fills the host window.
  GetClientRect(host_, posRect);
  *clipRect = *posRect;
  frameInfo->fMDIApp = FALSE;
  frameInfo->hwndFrame = GetAncestor(host_, GA_ROOT);
  frameInfo->haccel = nullptr;
  frameInfo->cAccelEntries = 0;
  return frame_.CopyTo(frame);
}

HRESULT BrowserSite::Scroll(SIZE) {
  return E_NOTIMPL;
}

HRESULT BrowserSite::OnUIDeactivate(BOOL) {
  return S_OK;
}

HRESULT BrowserSite::OnInPlaceDeactivate() {
  return S_OK;
}

HRESULT BrowserSite::DiscardUndoState() {
  return E_NOTIMPL;
}

HRESULT BrowserSite::DeactivateAndUndo() {
  return E_NOTIMPL;
}

// The host window decides the browser's size (WM_SIZE); requests from the page are declined by
// leaving the object rectangles as they are.
HRESULT BrowserSite::OnPosRectChange(LPCRECT) {
  return S_OK;
}

// IDocHostUIHandler

// S_OK means "shown": the browser's own menu (Back, View Source, ...) never appears.
HRESULT BrowserSite::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) {
  return S_OK;
}

HRESULT BrowserSite::GetHostInfo(DOCHOSTUIINFO* info) {
  if (!info) {
    return E_POINTER;
  }
  info->dwFlags = kHostFlags;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  info->pchHostCss = nullptr;
  info->pchHostNS = nullptr;
  return S_OK;
}

// S_OK: the host has taken care of menus and toolbars, i.e. there are none.
HRESULT BrowserSite::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                            IOleInPlaceUIWindow*) {
  return S_OK;
}

HRESULT BrowserSite::HideUI() {
  return S_OK;
}

HRESULT BrowserSite::UpdateUI() {
  return S_OK;
}

HRESULT BrowserSite::EnableModeless(BOOL) {
  return S_OK;
}

HRESULT BrowserSite::OnDocWindowActivate(BOOL) {
  return S_OK;
}

HRESULT BrowserSite::OnFrameWindowActivate(BOOL) {
  return S_OK;
}

HRESULT BrowserSite::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
  return S_OK;
}

// S_OK swallows the key before the browser acts on it; S_FALSE lets the browser handle it.
HRESULT BrowserSite::TranslateAccelerator(LPMSG msg, const GUID*, DWORD) {
  return msg && LeavesThePage(*msg) ? S_OK : S_FALSE;
}

// No registry branch of our own: the browser uses the system's settings.
HRESULT BrowserSite::GetOptionKeyPath(LPOLESTR* key, DWORD) {
  if (key) {
    *key = nullptr;
  }
  return S_FALSE;
}

HRESULT BrowserSite::GetDropTarget(IDropTarget*, IDropTarget** hostTarget) {
  if (hostTarget) {
    *hostTarget = nullptr;
  }
  return E_NOTIMPL;
}

// Pages get no window.external object.
HRESULT BrowserSite::GetExternal(IDispatch** external) {
  if (external) {
    *external = nullptr;
  }
  return S_FALSE;
}

HRESULT BrowserSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* urlOut) {
  if (urlOut) {
    *urlOut = nullptr;
  }
  return S_FALSE;
}

HRESULT BrowserSite::FilterDataObject(IDataObject*, IDataObject** filtered) {
  if (filtered) {
    *filtered = nullptr;
  }
  return S_FALSE;
}

// IDispatch: the browser reads ambient properties from its client site through this.

HRESULT BrowserSite::GetTypeInfoCount(UINT* count) {
  if (!count) {
    return E_POINTER;
  }
  *count = 0;
  return S_OK;
}

HRESULT BrowserSite::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) {
    *info = nullptr;
  }
  return E_NOTIMPL;
}

HRESULT BrowserSite::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT BrowserSite::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result,
                            EXCEPINFO*, UINT*) {
  if (!(flags & DISPATCH_PROPERTYGET) || !result) {
    return DISP_E_MEMBERNOTFOUND;
  }
  switch (id) {
    case DISPID_AMBIENT_DLCONTROL:
      VariantInit(result);
      result->vt = VT_I4;
      result->lVal = static_cast<LONG>(kDownloadControl);
      return S_OK;
    case DISPID_AMBIENT_SILENT:
      VariantInit(result);
      result->vt = VT_BOOL;
      result->boolVal = VARIANT_TRUE;
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace termgate::win32::browser_detail
