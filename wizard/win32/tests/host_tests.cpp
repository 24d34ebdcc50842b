// host_tests.exe: the Win32 host's windows and COM objects in a process of their own, where a
// test can do what Windows does and no other program can: send a window WM_DPICHANGED, count the
// COM objects alive. Prints one line per check and exits 0 when all passed.
#include <windows.h>
#include <oleacc.h>

#include <malloc.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "browser_site.h"
#include "com_object.h"
#include "dpi.h"
#include "form_window.h"
#include "option_accessible.h"
#include "runtime_error.h"
#include "windows_owners.h"

// Freed memory is filled with a pattern, as a debugging heap does, so that a use after free
// reads garbage rather than whatever happened to be left there. Volatile: a plain memset before
// free is a dead store the compiler drops.
void operator delete(void* memory) noexcept {
  if (memory != nullptr) {
    auto* bytes = static_cast<volatile unsigned char*>(memory);
    for (std::size_t i = 0, size = _msize(memory); i < size; ++i) {
      bytes[i] = 0xDD;
    }
    std::free(memory);
  }
}
void operator delete(void* memory, std::size_t) noexcept {
  operator delete(memory);
}

namespace termgate::win32 {
namespace {

using Microsoft::WRL::ComPtr;

int failures = 0;

void Check(bool passed, const std::string& what) {
  std::printf("%s %s\n", passed ? "ok" : "FAIL", what.c_str());
  failures += passed ? 0 : 1;
}

std::string Name(ControlName control) {
  const TextView name = NameOf(control);
  return std::string(name.begin(), name.end());
}

class IgnoringListener final : public FormWindow::Listener {
  void Clicked(Form, const ControlLayout&) override {}
  void SessionEnds() override {}
};

IgnoringListener listener;

std::unique_ptr<FormWindow> TermsWindow() {
  return std::make_unique<FormWindow>(LayoutOf(Form::Form3), listener);
}

// Each object made as the product makes it, handed out as the product hands it out, and
// released as a client releases it: afterwards none may be left alive.
struct LifetimeCase {
  const char* name;
  std::function<void()> run;
};

void HandOutFrame() {
  const ComPtr<browser_detail::BrowserFrame> frame =
      browser_detail::BrowserFrame::Create(GetDesktopWindow());
  ComPtr<IOleInPlaceUIWindow> client;
  frame.As(&client);
}

void HandOutSite() {
  const ComPtr<browser_detail::BrowserSite> site =
      browser_detail::BrowserSite::Create(GetDesktopWindow());
  ComPtr<IOleClientSite> clientSite;
  ComPtr<IOleWindow> window;
  site.As(&clientSite);
  site.As(&window);
  ComPtr<IOleInPlaceFrame> frame;
  ComPtr<IOleInPlaceUIWindow> document;
  RECT position{};
  RECT clip{};
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof info;
  ComPtr<IOleInPlaceSite> inPlace;
  site.As(&inPlace);
  inPlace->GetWindowContext(&frame, &document, &position, &clip, &info);
}

void HandOutAccessibleObject() {
  const std::unique_ptr<FormWindow> window = TermsWindow();
  const HWND option = window->ControlWindow(ControlName::Option1);
  // What a screen reader's WM_GETOBJECT gets, turned back into an object as a client does.
  const LRESULT reply = SendMessageW(option, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
  ComPtr<IAccessible> object;
  if (reply > 0) {
    ObjectFromLresult(reply, __uuidof(IAccessible), 0,
                      reinterpret_cast<void**>(object.GetAddressOf()));
  }
  Check(object != nullptr, "an option answers WM_GETOBJECT with an object");
  if (object) {
    unique_variant self;
    self->vt = VT_I4;
    self->lVal = CHILDID_SELF;
    BSTR name = nullptr;
    object->get_accName(*self.get(), &name);
    const unique_bstr owned(name);
    Check(owned && std::wstring(owned.get()) == L"I Accept", "its name is its label's text");
  }
}

void CheckLifetimes() {
  const LifetimeCase cases[] = {
      {"the browser's frame", &HandOutFrame},
      {"the browser's site and its frame", &HandOutSite},
      {"an option's accessible object", &HandOutAccessibleObject},
      {"the browser controls of a terms window", [] { TermsWindow(); }},
  };
  for (const LifetimeCase& c : cases) {
    const long before = liveComObjects;
    c.run();
    Check(liveComObjects == before, std::string(c.name) + ": freed by its last Release (" +
                                        std::to_string(liveComObjects - before) + " left)");
  }
}

// WM_DPICHANGED as Windows sends it when the window moves to a 144-dpi monitor: the size comes
// from WM_GETDPISCALEDSIZE, the window goes where the suggested rectangle says.
void CheckDpiChange() {
  constexpr UINT kDpi = 144;
  const std::unique_ptr<FormWindow> form = TermsWindow();
  const HWND window = form->window();
  ShowWindow(window, SW_SHOWNA);
  SetFocus(form->ControlWindow(ControlName::Option1));
  UpdateWindow(window);

  SIZE size{};
  SendMessageW(window, WM_GETDPISCALEDSIZE, kDpi, reinterpret_cast<LPARAM>(&size));
  const RECT suggested{10, 20, 10 + size.cx, 20 + size.cy};
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(kDpi, kDpi), reinterpret_cast<LPARAM>(&suggested));

  RECT placed{};
  GetWindowRect(window, &placed);
  Check(EqualRect(&placed, &suggested), "the window takes the suggested rectangle");
  RECT client{};
  GetClientRect(window, &client);
  const WindowLayout& layout = LayoutOf(Form::Form3);
  const LOGFONTW defaultFont = DefaultFont(kDpi);
  for (const ControlLayout& control : layout.controls) {
    const HWND child = form->ControlWindow(control.name);
    RECT bounds{};
    GetWindowRect(child, &bounds);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&bounds), 2);
    const RECT wanted = PixelRect(control, kDpi);
    Check(EqualRect(&bounds, &wanted), Name(control.name) + " is placed for 144 dpi");
    if (control.kind == ControlKind::WebBrowser) {
      continue;
    }
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), sizeof font, &font);
    const LONG wantedHeight =
        control.font ? LayoutFont(*control.font, kDpi).lfHeight : defaultFont.lfHeight;
    Check(font.lfHeight == wantedHeight, Name(control.name) + "'s font is made for 144 dpi (" +
                                             std::to_string(font.lfHeight) + ", wanted " +
                                             std::to_string(wantedHeight) + ")");
  }

  // Everything moved, the focus ring around the option too: all of the window must be drawn
  // again, not only what the larger size uncovered.
  const unique_hrgn update(CreateRectRgn(0, 0, 0, 0));
  GetUpdateRgn(window, update.get(), FALSE);
  const unique_hrgn left(CreateRectRgnIndirect(&client));
  Check(CombineRgn(left.get(), left.get(), update.get(), RGN_DIFF) == NULLREGION,
        "the whole window is to be repainted");
}

// Access violations, counted where they happen: a window procedure's would otherwise be
// swallowed by Wine's message dispatch and never seen.
long accessViolations = 0;
LONG CALLBACK CountAccessViolation(EXCEPTION_POINTERS* exception) {
  if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION) {
    ++accessViolations;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// A terms window whose browser controls cannot be made (no OLE on the thread) fails with error
// 429 and takes down what it had made so far, the option buttons it wraps included, touching
// nothing it has freed.
void CheckFailedCreation() {
  OleUninitialize();
  const PVOID handler = AddVectoredExceptionHandler(1, &CountAccessViolation);
  try {
    TermsWindow();
    Check(false, "a terms window without OLE fails");
  } catch (const RuntimeError& error) {
    Check(error.number == 429, "a terms window without OLE fails with error " +
                                   std::to_string(error.number) + ", wanted 429");
  }
  RemoveVectoredExceptionHandler(handler);
  Check(accessViolations == 0,
        "its teardown makes no access violation (" + std::to_string(accessViolations) + ")");
}

}  // namespace
}  // namespace termgate::win32

int wmain() {
  using namespace termgate::win32;
  if (FAILED(OleInitialize(nullptr))) {
    std::printf("FAIL OleInitialize\n");
    return 1;
  }
  CheckLifetimes();
  CheckDpiChange();
  CheckFailedCreation();
  std::printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
