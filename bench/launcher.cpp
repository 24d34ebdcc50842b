// Starts a Windows program and reports how long it took, from CreateProcessW, until one of its
// top-level windows became visible, then the peak working set a little later, and ends it.
//
// Usage: launcher <program.exe> [arguments...]
// Prints one line:
//   visible_ms=<ms> peak_working_set=<bytes> class=<window class> client=<w>x<h>
// Exit code 0 on success; 2 for bad usage, 3 when the program cannot be started, 4 when it exits
// or shows no window in time, 5 when its memory counters cannot be read.
//
// It runs inside the same Wine prefix as the program it measures: starting a Wine process from
// Linux costs far more than the programs under test, so the clock has to start in here.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "windows_owners.h"

namespace {

constexpr DWORD kPollIntervalMs = 1;
constexpr double kGiveUpMs = 60'000.0;
// Long enough for the program to finish what it does right after showing its window (painting,
// the page's first layout), so that the peak includes it.
constexpr DWORD kSettleMs = 300;

// Ends the child on every way out of main, so a failed measurement leaves nothing running in the
// prefix to disturb the next one.
class ChildProcess {
 public:
  explicit ChildProcess(const PROCESS_INFORMATION& info)
      : process_(info.hProcess), thread_(info.hThread), id_(info.dwProcessId) {}
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.get(), 0);
    }
    WaitForSingleObject(process_.get(), INFINITE);
  }
  HANDLE process() const { return process_.get(); }
  DWORD id() const { return id_; }
  bool Running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

 private:
  termgate::win32::unique_handle process_;
  termgate::win32::unique_handle thread_;
  DWORD id_;
};

class Stopwatch {
 public:
  Stopwatch() {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
  }
  double ElapsedMs() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 /
           static_cast<double>(frequency_.QuadPart);
  }

 private:
  LARGE_INTEGER frequency_{};
  LARGE_INTEGER start_{};
};

struct WindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND VisibleTopLevelWindowOf(DWORD processId) {
  WindowSearch search{processId, nullptr};
  EnumWindows(&FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// CommandLineToArgvW's rules, the ones the C run time of the started program parses with.
void AppendQuoted(std::wstring& line, std::wstring_view argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
    line += argument;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      line.append(backslashes * 2 + 1, L'\\');
    } else {
      line.append(backslashes, L'\\');
    }
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

std::string Narrow(std::wstring_view text) {
  if (text.empty()) {
    return {};
  }
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length,
                      nullptr, nullptr);
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: launcher <program.exe> [arguments...]\n");
    return 2;
  }
  std::wstring commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) {
      commandLine += L' ';
    }
    AppendQuoted(commandLine, argv[i]);
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const Stopwatch clock;
  if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    std::fprintf(stderr, "launcher: cannot start %s: error %lu\n", Narrow(argv[1]).c_str(),
                 GetLastError());
    return 3;
  }
  const ChildProcess child(info);

  HWND window = nullptr;
  double visibleMs = 0.0;
  for (;;) {
    window = VisibleTopLevelWindowOf(child.id());
    visibleMs = clock.ElapsedMs();
    if (window != nullptr) {
      break;
    }
    if (!child.Running()) {
      std::fprintf(stderr, "launcher: the program exited after %.1f ms without a window\n",
                   visibleMs);
      return 4;
    }
    if (visibleMs > kGiveUpMs) {
      std::fprintf(stderr, "launcher: no visible window after %.0f ms\n", visibleMs);
      return 4;
    }
    Sleep(kPollIntervalMs);
  }

  Sleep(kSettleMs);
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(child.process(), &counters, sizeof counters)) {
    std::fprintf(stderr, "launcher: cannot read the memory counters: error %lu\n", GetLastError());
    return 5;
  }

  wchar_t className[256] = {};
  GetClassNameW(window, className, static_cast<int>(std::size(className)));
  RECT client{};
  GetClientRect(window, &client);
  std::printf("visible_ms=%.3f peak_working_set=%llu class=%s client=%ldx%ld\n", visibleMs,
              static_cast<unsigned long long>(counters.PeakWorkingSetSize),
              Narrow(className).c_str(), client.right - client.left, client.bottom - client.top);
  std::fflush(stdout);
  return 0;
}
