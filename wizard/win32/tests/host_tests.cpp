// host_tests.exe: the Win32 host's windows and COM objects in a process of their own, where a
// test can do what Windows does and no other program can: send a window WM_DPICHANGED, count the
// COM objects alive, make memory run out. Prints one line per check and exits 0 when all passed.
//
//     host_tests.exe EXPECTED_LAYOUT
//
// EXPECTED_LAYOUT is the table of where each control must be in pixels (expected_layout.txt).
#include <windows.h>
#include <mshtmhst.h>
#include <oleacc.h>
#include <servprov.h>

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <utility>
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

namespace {
// While set, operator new fails as it does when memory runs out: the way to make a COM method's
// body throw while a caller waits for its HRESULT.
std::atomic<bool> failAllocations{false};
}  // namespace

// The array, nothrow and sized forms of the run time all come here.
void* operator new(std::size_t size) {
  if (!failAllocations) {
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
      return memory;
    }
  }
  throw std::bad_alloc();
}

namespace termgate::win32 {
namespace {

using Microsoft::WRL::ComPtr;

int failures = 0;

void Check(bool passed, const std::string& what) {
  std::printf("%s %s\n", passed ? "ok" : "FAIL", what.c_str());
  failures += passed ? 0 : 1;
}

std::string Hex(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(result));
  return text;
}

// Every HRESULT a test gets is compared with the one it must be, and shown.
void CheckResult(HRESULT got, HRESULT wanted, const std::string& what) {
  Check(got == wanted,
        what + " (" + Hex(got) + (got == wanted ? "" : ", wanted " + Hex(wanted)) + ")");
}

VARIANT Self() {
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  return self;
}

std::string Name(ControlName control) {
  const TextView name = NameOf(control);
  return std::string(name.begin(), name.end());
}

std::string Name(Form form) {
  const TextView name = NameOf(form);
  return std::string(name.begin(), name.end());
}

// One line of the expected layout: a control's rectangle, or the client area's ("client"), in
// one window at one DPI, in pixels worked out by hand from the twips.
struct ExpectedRect {
  std::string form;
  std::string control;
  UINT dpi;
  RECT rect;
};

std::vector<ExpectedRect> expectedLayout;

bool ReadExpectedLayout(const wchar_t* path) {
  std::ifstream file{std::filesystem::path(path)};
  if (!file) {
    std::printf("FAIL the expected layout %ls cannot be opened\n", path);
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#') {
      continue;
    }
    std::istringstream fields(line);
    ExpectedRect entry{};
    std::string more;
    RECT& r = entry.rect;
    if (!(fields >> entry.form >> entry.control >> entry.dpi >> r.left >> r.top >> r.right >>
          r.bottom) ||
        fields >> more) {
      std::printf("FAIL line %d of the expected layout cannot be read: %s\n", number, line.c_str());
      return false;
    }
    expectedLayout.push_back(entry);
  }
  return true;
}

std::string Text(const RECT& rect) {
  return "[" + std::to_string(rect.left) + ", " + std::to_string(rect.top) + ", " +
         std::to_string(rect.right) + ", " + std::to_string(rect.bottom) + "]";
}

// `got` against the table's line for the control at `dpi`, both shown when they differ. `how`:
// converted from twips, or placed on the window.
void CheckRect(const RECT& got, Form form, const std::string& control, UINT dpi, const char* how) {
  const ExpectedRect* wanted = nullptr;
  for (const ExpectedRect& entry : expectedLayout) {
    if (entry.form == Name(form) && entry.control == control && entry.dpi == dpi) {
      wanted = &entry;
    }
  }
  const bool equal = wanted != nullptr && EqualRect(&got, &wanted->rect);
  const std::string expected = wanted ? Text(wanted->rect) : "a line in the expected layout";
  Check(equal, Name(form) + "." + control + " " + how + " at " + std::to_string(dpi) + " dpi is " +
                   Text(got) + (equal ? "" : ", wanted " + expected));
}

// The conversion from twips of every control and each client area.
void CheckPixelRects() {
  for (const Form form : kForms) {
    const WindowLayout& layout = LayoutOf(form);
    for (const UINT dpi : {96u, 120u, 144u}) {
      CheckRect(RECT{0, 0, TwipsToPixels(layout.clientWidth, dpi),
                     TwipsToPixels(layout.clientHeight, dpi)},
                form, "client", dpi, "converted");
      for (const ControlLayout& control : layout.controls) {
        CheckRect(PixelRect(control, dpi), form, Name(control.name), dpi, "converted");
      }
    }
  }
}

class IgnoringListener final : public FormWindow::Listener {
  void Clicked(Form, const ControlLayout&) override {}
  void SessionEnds() override {}
  void Failed() override {}
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
  CheckResult(frame.As(&client), S_OK, "the frame answers IOleInPlaceUIWindow");
}

void HandOutSite() {
  const ComPtr<browser_detail::BrowserSite> site =
      browser_detail::BrowserSite::Create(GetDesktopWindow());
  ComPtr<IOleClientSite> clientSite;
  ComPtr<IOleWindow> window;
  ComPtr<IOleInPlaceSite> inPlace;
  CheckResult(site.As(&clientSite), S_OK, "the site answers IOleClientSite");
  CheckResult(site.As(&window), S_OK, "the site answers IOleWindow");
  CheckResult(site.As(&inPlace), S_OK, "the site answers IOleInPlaceSite");
  if (!inPlace) {
    return;
  }
  ComPtr<IOleInPlaceFrame> frame;
  ComPtr<IOleInPlaceUIWindow> document;
  RECT position{};
  RECT clip{};
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof info;
  CheckResult(inPlace->GetWindowContext(&frame, &document, &position, &clip, &info), S_OK,
              "the site hands out its window context");
  Check(frame != nullptr && document == nullptr, "its frame, and no document window of its own");
}

// What a screen reader's WM_GETOBJECT gets for `option`, turned back into an object as a client
// does.
ComPtr<IAccessible> AccessibleObjectOf(HWND option) {
  const LRESULT reply = SendMessageW(option, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
  Check(reply > 0, "an option answers WM_GETOBJECT with an object");
  ComPtr<IAccessible> object;
  if (reply > 0) {
    CheckResult(ObjectFromLresult(reply, __uuidof(IAccessible), 0,
                                  reinterpret_cast<void**>(object.GetAddressOf())),
                S_OK, "the reply is an IAccessible");
  }
  return object;
}

void HandOutAccessibleObject() {
  const std::unique_ptr<FormWindow> window = TermsWindow();
  const ComPtr<IAccessible> object =
      AccessibleObjectOf(window->ControlWindow(ControlName::Option1));
  if (object) {
    BSTR name = nullptr;
    CheckResult(object->get_accName(Self(), &name), S_OK, "it answers its name");
    const unique_bstr owned(name);
    Check(owned && std::wstring(owned.get()) == L"I Accept", "its name is its label's text");
  }
}

// A COM method whose body throws answers with an HRESULT: std::bad_alloc is E_OUTOFMEMORY, asked
// through the vtable or through IDispatch, and the object answers again once there is memory.
void RunOutOfMemoryInAccessibleObject() {
  struct Route {
    const char* name;
    HRESULT (*ask)(IAccessible& object, unique_variant& answer);
  };
  const Route routes[] = {
      {"get_accName",
       [](IAccessible& object, unique_variant& answer) {
         answer->vt = VT_BSTR;
         answer->bstrVal = nullptr;
         return object.get_accName(Self(), &answer->bstrVal);
       }},
      {"Invoke(DISPID_ACC_NAME)",
       [](IAccessible& object, unique_variant& answer) {
         DISPPARAMS none{};
         return object.Invoke(DISPID_ACC_NAME, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                              &none, answer.get(), nullptr, nullptr);
       }},
  };
  const std::unique_ptr<FormWindow> window = TermsWindow();
  const ComPtr<IAccessible> object =
      AccessibleObjectOf(window->ControlWindow(ControlName::Option1));
  if (!object) {
    return;
  }
  for (const Route& route : routes) {
    const std::string name = route.name;
    unique_variant starved;
    HRESULT result = S_OK;
    bool escaped = false;
    failAllocations = true;
    try {
      result = route.ask(*object.Get(), starved);
    } catch (...) {
      escaped = true;
    }
    failAllocations = false;
    Check(!escaped, name + " out of memory lets no exception out");
    CheckResult(result, E_OUTOFMEMORY, name + " out of memory");
    Check(starved->vt != VT_BSTR || starved->bstrVal == nullptr, name + " gives no name then");

    unique_variant answer;
    CheckResult(route.ask(*object.Get(), answer), S_OK, name + " with memory again");
    Check(answer->vt == VT_BSTR && answer->bstrVal != nullptr &&
              std::wstring(answer->bstrVal) == L"I Accept",
          name + " answers the label's text again");
  }
}

void CheckLifetimes() {
  const LifetimeCase cases[] = {
      {"the browser's frame", &HandOutFrame},
      {"the browser's site and its frame", &HandOutSite},
      {"an option's accessible object", &HandOutAccessibleObject},
      {"an accessible object that ran out of memory", &RunOutOfMemoryInAccessibleObject},
      {"the browser controls of a terms window", [] { TermsWindow(); }},
  };
  for (const LifetimeCase& c : cases) {
    const long before = liveComObjects;
    c.run();
    Check(liveComObjects == before, std::string(c.name) + ": freed by its last Release (" +
                                        std::to_string(liveComObjects - before) + " left)");
  }
}

// QueryInterface as COM's rules have it, for each of the program's own objects: every interface
// it serves answers S_OK and leads back to the one IUnknown, one it does not serve answers
// E_NOINTERFACE with the pointer cleared, no pointer at all answers E_POINTER, and every
// reference handed out goes back.
struct Interface {
  const char* name;
  IID id;
};

struct QueryCase {
  const char* object;
  ComPtr<IUnknown> (*make)();
  std::vector<Interface> serves;
  std::vector<Interface> refuses;
};

void CheckQueryInterface(const QueryCase& c) {
  const std::string object = c.object;
  const ComPtr<IUnknown> made = c.make();
  Check(made != nullptr, object + " is made");
  if (!made) {
    return;
  }
  ComPtr<IUnknown> identity;
  CheckResult(
      made->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(identity.GetAddressOf())),
      S_OK, object + " answers IUnknown");
  for (const Interface& entry : c.serves) {
    const std::string what = object + " answers " + entry.name;
    ComPtr<IUnknown> served;
    CheckResult(made->QueryInterface(entry.id, reinterpret_cast<void**>(served.GetAddressOf())),
                S_OK, what);
    Check(served != nullptr, what + " with a pointer");
    if (!served) {
      continue;
    }
    // Asked through the interface's own vtable, which may sit elsewhere in the object.
    ComPtr<IUnknown> back;
    CheckResult(
        served->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(back.GetAddressOf())),
        S_OK, what + ", which answers IUnknown");
    Check(back != nullptr && back == identity, what + ", which leads back to the same IUnknown");
  }
  for (const Interface& entry : c.refuses) {
    // A raw pointer: an owner would release whatever a faulty QueryInterface left in it.
    int sentinel = 0;
    void* refused = &sentinel;
    CheckResult(made->QueryInterface(entry.id, &refused), E_NOINTERFACE,
                object + " refuses " + entry.name);
    Check(refused == nullptr, object + " clears the pointer when it refuses " + entry.name);
  }
  CheckResult(made->QueryInterface(__uuidof(IUnknown), nullptr), E_POINTER,
              object + " refuses to answer into no pointer");
}

ComPtr<IUnknown> MakeFrame() {
  return browser_detail::BrowserFrame::Create(GetDesktopWindow());
}

ComPtr<IUnknown> MakeSite() {
  const ComPtr<browser_detail::BrowserSite> site =
      browser_detail::BrowserSite::Create(GetDesktopWindow());
  // Each of its interfaces has an IUnknown of its own; the first one stands for the object.
  return static_cast<IOleClientSite*>(site.Get());
}

ComPtr<IUnknown> MakeAccessibleObject() {
  // Asked about its interfaces alone, the object outlives its window.
  const std::unique_ptr<FormWindow> window = TermsWindow();
  return AccessibleObjectOf(window->ControlWindow(ControlName::Option1));
}

void CheckQueryInterfaces() {
  // Written out here: what the browser and screen readers rely on each object to answer.
  // __uuidof throughout: oleacc's import library also defines IID_IAccessible, as a stub that
  // holds no GUID, and the linker may take that one.
  const QueryCase cases[] = {
      {"the browser's frame",
       &MakeFrame,
       {{"IUnknown", __uuidof(IUnknown)},
        {"IOleWindow", __uuidof(IOleWindow)},
        {"IOleInPlaceUIWindow", __uuidof(IOleInPlaceUIWindow)},
        {"IOleInPlaceFrame", __uuidof(IOleInPlaceFrame)}},
       {{"IOleInPlaceSite", __uuidof(IOleInPlaceSite)},
        {"IOleClientSite", __uuidof(IOleClientSite)},
        {"IDispatch", __uuidof(IDispatch)}}},
      {"the browser's site",
       &MakeSite,
       {{"IUnknown", __uuidof(IUnknown)},
        {"IOleClientSite", __uuidof(IOleClientSite)},
        {"IOleWindow", __uuidof(IOleWindow)},
        {"IOleInPlaceSite", __uuidof(IOleInPlaceSite)},
        {"IDocHostUIHandler", __uuidof(IDocHostUIHandler)},
        {"IDispatch", __uuidof(IDispatch)}},
       {{"IOleInPlaceFrame", __uuidof(IOleInPlaceFrame)},
        {"IOleInPlaceUIWindow", __uuidof(IOleInPlaceUIWindow)},
        {"IOleInPlaceSiteEx", __uuidof(IOleInPlaceSiteEx)},
        {"IDocHostUIHandler2", __uuidof(IDocHostUIHandler2)},
        {"IServiceProvider", __uuidof(IServiceProvider)}}},
      {"an option's accessible object",
       &MakeAccessibleObject,
       {{"IUnknown", __uuidof(IUnknown)},
        {"IDispatch", __uuidof(IDispatch)},
        {"IAccessible", __uuidof(IAccessible)}},
       {{"IEnumVARIANT", __uuidof(IEnumVARIANT)},
        {"IServiceProvider", __uuidof(IServiceProvider)},
        {"IOleWindow", __uuidof(IOleWindow)}}},
  };
  for (const QueryCase& c : cases) {
    const long before = liveComObjects;
    CheckQueryInterface(c);
    Check(liveComObjects == before, std::string(c.object) + ": every reference went back (" +
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
  for (const ControlLayout& control : LayoutOf(Form::Form3).controls) {
    RECT bounds{};
    GetWindowRect(form->ControlWindow(control.name), &bounds);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&bounds), 2);
    CheckRect(bounds, Form::Form3, Name(control.name), kDpi, "placed");
  }

  // lfHeight is -(points * 144 / 72), halves away from zero: Times New Roman 14.25 pt is 28.5
  // pixels, 12 pt is 24. The option buttons have the system's own message font for 144 dpi.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  Check(SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, kDpi),
        "the system tells its message font for 144 dpi");
  const LONG message = metrics.lfMessageFont.lfHeight;
  const std::pair<ControlName, LONG> fontHeights[] = {
      {ControlName::Command1, -29},    {ControlName::Label2, -24},      {ControlName::Label3, -24},
      {ControlName::Option1, message}, {ControlName::Option2, message},
  };
  for (const auto& [name, wanted] : fontHeights) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(form->ControlWindow(name), WM_GETFONT, 0, 0)),
               sizeof font, &font);
    Check(font.lfHeight == wanted, Name(name) + "'s font is made for 144 dpi (" +
                                       std::to_string(font.lfHeight) + ", wanted " +
                                       std::to_string(wanted) + ")");
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

int wmain(int argc, wchar_t** argv) {
  using namespace termgate::win32;
  if (argc != 2) {
    std::printf("FAIL usage: host_tests.exe EXPECTED_LAYOUT\n");
    return 1;
  }
  if (!ReadExpectedLayout(argv[1])) {
    return 1;
  }
  if (FAILED(OleInitialize(nullptr))) {
    std::printf("FAIL OleInitialize\n");
    return 1;
  }
  CheckPixelRects();
  CheckLifetimes();
  CheckQueryInterfaces();
  CheckDpiChange();
  CheckFailedCreation();
  std::printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
