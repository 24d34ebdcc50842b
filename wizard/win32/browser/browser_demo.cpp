// Drives WebBrowserControl in a real window: creation refused on threads without an STA (no COM,
// MTA), two live controls, navigation to a local page, a resize, keyboard forwarding through a
// message loop, both teardown orders (control first, parent first) and a leak count of the site
// objects. Prints every HRESULT and timing; exits non-zero on any failed check.
//
// Usage: browser_demo <page.html> <seconds>
#include "web_browser_control.h"

#include "browser_site.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>

namespace {

using termgate::win32::WebBrowserControl;

constexpr wchar_t kDemoClass[] = L"BrowserDemoWindow";

int g_failures = 0;

void Check(bool ok, const char* what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) {
    ++g_failures;
  }
}

void PrintHr(const char* what, HRESULT hr) {
  std::printf("     %-44s hr=0x%08lX\n", what, static_cast<unsigned long>(hr));
}

class Stopwatch {
 public:
  Stopwatch() {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
  }
  double ms() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 /
           static_cast<double>(frequency_.QuadPart);
  }

 private:
  LARGE_INTEGER frequency_{};
  LARGE_INTEGER start_{};
};

// Owns a handle closed with CloseHandle.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() {
    if (valid()) {
      CloseHandle(handle_);
    }
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// Owns a top-level window.
class UniqueWindow {
 public:
  explicit UniqueWindow(HWND hwnd) : hwnd_(hwnd) {}
  UniqueWindow(const UniqueWindow&) = delete;
  UniqueWindow& operator=(const UniqueWindow&) = delete;
  ~UniqueWindow() { reset(); }
  HWND get() const { return hwnd_; }
  void reset() {
    if (hwnd_) {
      DestroyWindow(hwnd_);
      hwnd_ = nullptr;
    }
  }

 private:
  HWND hwnd_;
};

int CountThreads() {
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot.valid()) {
    return -1;
  }
  int count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) {
      ++count;
    }
  }
  return count;
}

// Runs the thread's message loop for `ms`, offering keyboard messages to the controls first the
// way the wizard's loop will. Returns how many messages the controls consumed.
int Pump(double ms, std::initializer_list<WebBrowserControl*> controls) {
  int consumed = 0;
  const Stopwatch clock;
  for (double left = ms; left > 0; left = ms - clock.ms()) {
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      bool eaten = false;
      for (WebBrowserControl* control : controls) {
        if (control && control->TranslateAccelerator(&msg)) {
          eaten = true;
          break;
        }
      }
      if (eaten) {
        ++consumed;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return consumed;
}

// `child`'s window rectangle in its parent's client coordinates.
RECT RectInParent(HWND child) {
  RECT rect{};
  GetWindowRect(child, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

RECT ClientRect(HWND hwnd) {
  RECT rect{};
  GetClientRect(hwnd, &rect);
  return rect;
}

bool SameSize(const RECT& a, const RECT& b) {
  return a.right - a.left == b.right - b.left && a.bottom - a.top == b.bottom - b.top;
}

bool Equal(const RECT& a, const RECT& b) {
  return EqualRect(&a, &b) != FALSE;
}

// A file: URL for `path`, or empty when it cannot be made.
std::wstring FileUrl(const wchar_t* path) {
  wchar_t full[MAX_PATH];
  const DWORD length = GetFullPathNameW(path, MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) {
    return {};
  }
  std::wstring url(4096, L'\0');
  DWORD url_length = static_cast<DWORD>(url.size());
  if (FAILED(UrlCreateFromPathW(full, url.data(), &url_length, 0))) {
    return {};
  }
  url.resize(url_length);
  return url;
}

// Closes OLE on scope exit when it was opened.
class OleSession {
 public:
  OleSession() : hr_(OleInitialize(nullptr)) {}
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  ~OleSession() {
    if (SUCCEEDED(hr_)) {
      OleUninitialize();
    }
  }
  HRESULT hr() const { return hr_; }

 private:
  HRESULT hr_;
};

enum class ComState { kNone, kMultithreaded };

struct Attempt {
  HRESULT hr = E_FAIL;
  bool returned_control = true;
  bool window_left = true;
};

// Calls Create on a new thread in the given COM state, under a hidden parent of its own.
Attempt CreateOnThread(ComState state) {
  Attempt attempt;
  std::thread worker([&attempt, state] {
    const HRESULT init =
        state == ComState::kMultithreaded ? CoInitializeEx(nullptr, COINIT_MULTITHREADED) : S_FALSE;
    {
      UniqueWindow parent(CreateWindowExW(0, kDemoClass, L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                          nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
      std::unique_ptr<WebBrowserControl> control;
      attempt.hr = WebBrowserControl::Create(parent.get(), RECT{0, 0, 200, 100}, control);
      attempt.returned_control = control != nullptr;
      control.reset();
      // Without a parent there is nothing to inspect, which counts as a failure.
      attempt.window_left = !parent.get() || GetWindow(parent.get(), GW_CHILD) != nullptr;
    }
    if (state == ComState::kMultithreaded && SUCCEEDED(init)) {
      CoUninitialize();
    }
  });
  worker.join();
  return attempt;
}

int Run(const wchar_t* page, unsigned seconds) {
  const std::wstring url = FileUrl(page);
  if (url.empty()) {
    std::printf("cannot make a file URL from the page path\n");
    return 2;
  }
  std::printf("     page URL: %ls\n", url.c_str());

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kDemoClass;
  if (!RegisterClassExW(&wc)) {
    std::printf("RegisterClassExW failed\n");
    return 2;
  }
  UniqueWindow main(CreateWindowExW(0, wc.lpszClassName, L"browser_demo",
                                    WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 40, 40,
                                    1000, 720, nullptr, nullptr, wc.hInstance, nullptr));
  if (!main.get()) {
    std::printf("CreateWindowExW failed\n");
    return 2;
  }
  const RECT left_bounds{10, 10, 490, 650};
  const RECT right_bounds{500, 10, 980, 650};

  // Creation must fail cleanly on a thread in the wrong COM state, leaving no window behind.
  {
    const Attempt mta = CreateOnThread(ComState::kMultithreaded);
    PrintHr("Create on an MTA thread", mta.hr);
    Check(FAILED(mta.hr) && !mta.returned_control, "creation is refused in the MTA");
    Check(!mta.window_left, "the refused creation left no window behind");
    const Attempt none = CreateOnThread(ComState::kNone);
    PrintHr("Create on a thread without COM", none.hr);
    Check(FAILED(none.hr) && !none.returned_control, "creation is refused without COM");
    Check(!none.window_left, "the refused creation left no window behind");
  }

  OleSession ole;
  PrintHr("OleInitialize", ole.hr());
  if (FAILED(ole.hr())) {
    return 2;
  }
  std::printf("     threads before creation: %d\n", CountThreads());
  Check(termgate::win32::browser_detail::LiveSiteObjects() == 0,
        "the refused creations released their site objects");

  std::unique_ptr<WebBrowserControl> a;
  std::unique_ptr<WebBrowserControl> b;
  const Stopwatch create_clock;
  const HRESULT hr_a = WebBrowserControl::Create(main.get(), left_bounds, a);
  const double create_a_ms = create_clock.ms();
  const HRESULT hr_b = WebBrowserControl::Create(main.get(), right_bounds, b);
  PrintHr("Create A", hr_a);
  PrintHr("Create B", hr_b);
  std::printf("     creation took %.1f ms (A) and %.1f ms (both)\n", create_a_ms,
              create_clock.ms());
  Check(SUCCEEDED(hr_a) && a, "control A created");
  Check(SUCCEEDED(hr_b) && b, "control B created");
  if (!a || !b) {
    return 1;
  }
  std::printf("     threads after creation: %d\n", CountThreads());

  const HWND host_a = a->window();
  const HWND host_b = b->window();
  Check(host_a && GetParent(host_a) == main.get(), "A's window is a child of the parent");
  Check(Equal(RectInParent(host_a), left_bounds), "A's window occupies the requested bounds");
  const HWND browser_a = GetWindow(host_a, GW_CHILD);
  const HWND browser_b = GetWindow(host_b, GW_CHILD);
  wchar_t class_name[64] = L"";
  if (browser_a) {
    GetClassNameW(browser_a, class_name, 64);
  }
  std::printf("     browser window inside A: %p class \"%ls\"\n", static_cast<void*>(browser_a),
              class_name);
  Check(browser_a && IsWindowVisible(browser_a),
        "the browser's window lives visibly inside A's window");
  Check(browser_a && SameSize(RectInParent(browser_a), ClientRect(host_a)),
        "the browser fills A's window");

  const Stopwatch navigate_clock;
  const HRESULT hr_nav = a->Navigate2(url);
  PrintHr("Navigate2(page) on A", hr_nav);
  std::printf("     Navigate2 returned after %.1f ms\n", navigate_clock.ms());
  Check(SUCCEEDED(hr_nav), "navigation to the local page starts");

  const double half_ms = seconds * 500.0;
  Pump(half_ms, {a.get(), b.get()});
  std::printf("     threads while showing pages: %d\n", CountThreads());

  // What the wizard does after WM_DPICHANGED: new bounds for both controls.
  const RECT larger_left{10, 10, 700, 690};
  const RECT narrower_right{710, 10, 990, 690};
  a->SetBounds(larger_left);
  b->SetBounds(narrower_right);
  Pump(100, {a.get(), b.get()});
  Check(Equal(RectInParent(host_a), larger_left), "A moved and resized to its new bounds");
  Check(browser_a && SameSize(RectInParent(browser_a), ClientRect(host_a)),
        "the browser followed A's new size");
  Check(browser_b && SameSize(RectInParent(browser_b), ClientRect(host_b)),
        "the browser followed B's new size");

  // Keyboard: give A the focus as a Tab from the wizard would, then feed a Tab through the loop.
  SetFocus(host_a);
  const HWND focus = GetFocus();
  std::printf("     focus after SetFocus(A): %p (A's window %p, inside A: %s)\n",
              static_cast<void*>(focus), static_cast<void*>(host_a),
              focus == host_a || IsChild(host_a, focus) ? "yes" : "no");
  PostMessageW(focus ? focus : host_a, WM_KEYDOWN, VK_TAB, 1);
  PostMessageW(focus ? focus : host_a, WM_KEYUP, VK_TAB, static_cast<LPARAM>(0xC0000001u));
  const int consumed = Pump(half_ms, {a.get(), b.get()});
  std::printf("     keyboard messages consumed by the browsers: %d\n", consumed);

  // Control destroyed first, parent still alive.
  const Stopwatch destroy_a_clock;
  a.reset();
  std::printf("     destroying A took %.1f ms\n", destroy_a_clock.ms());
  Check(!IsWindow(host_a) && !IsWindow(browser_a), "destroying A removed its windows");
  Check(GetWindow(main.get(), GW_CHILD) == host_b, "only B's window is left in the parent");

  // Parent destroyed first, control still alive.
  const Stopwatch destroy_parent_clock;
  main.reset();
  std::printf("     destroying the parent (B still alive) took %.1f ms\n",
              destroy_parent_clock.ms());
  Check(!IsWindow(host_b) && !IsWindow(browser_b), "the parent took B's windows with it");
  Check(b->window() == nullptr, "B knows its window is gone");
  const HRESULT hr_orphan = b->Navigate2(url);
  PrintHr("Navigate2 on B after its parent died", hr_orphan);
  Check(FAILED(hr_orphan), "an orphaned control refuses to navigate");
  const Stopwatch destroy_b_clock;
  b.reset();
  std::printf("     destroying B afterwards took %.1f ms\n", destroy_b_clock.ms());

  // Whatever the browsers posted before they went must find nothing to crash into.
  Pump(500, {});
  std::printf("     threads after teardown: %d\n", CountThreads());
  const int live = termgate::win32::browser_detail::LiveSiteObjects();
  std::printf("     site/frame objects still alive: %d\n", live);
  Check(live == 0, "the browsers released every site and frame object");
  return g_failures == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::printf("usage: browser_demo <page.html> <seconds>\n");
    return 2;
  }
  wchar_t* end = nullptr;
  const unsigned long seconds = std::wcstoul(argv[2], &end, 10);
  if (end == argv[2] || *end != L'\0' || seconds > 3600) {
    std::printf("seconds must be a number up to 3600\n");
    return 2;
  }
  const Stopwatch total;
  const int result = Run(argv[1], static_cast<unsigned>(seconds));
  std::printf("%s after %.0f ms, exit code %d\n", result == 0 ? "PASSED" : "FAILED", total.ms(),
              result);
  std::fflush(stdout);
  return result;
}
