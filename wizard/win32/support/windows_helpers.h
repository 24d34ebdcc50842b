// The few Win32 chores that every program of the project does the same way: its own module,
// functions bound at run time, window classes, and texts read into a buffer that must grow.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>

// The image base of the module being linked: the linker defines it for every PE image.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace termgate::win32 {

// The module this code is linked into, which owns the window classes it registers and the
// resources it loads, also when that module is a DLL rather than the program.
inline HINSTANCE ThisModule() {
  return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

// A function of `module` by name, as the type it is called through; nullptr when either is
// missing.
template <class Function>
Function ProcAddress(HMODULE module, const char* name) {
  return module == nullptr
             ? nullptr
             : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A user32 function that older Windows lacks. user32 is loaded in every GUI process, so this
// never loads a library from disk.
template <class Function>
Function User32Function(const char* name) {
  return ProcAddress<Function>(GetModuleHandleW(L"user32.dll"), name);
}

// Registers `windowClass` unless its module already has a class of that name, so that every
// window needing it may be the first. False when Windows refuses; GetLastError tells why.
inline bool RegisterWindowClassOnce(const WNDCLASSEXW& windowClass) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(windowClass.hInstance, windowClass.lpszClassName, &existing)) {
    return true;
  }
  return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// The object that serves a window, kept in its GWLP_USERDATA: taken from CreateWindowExW's last
// argument when the window is created (WM_NCCREATE). nullptr before that, and once the object
// has cleared it.
template <class T>
T* WindowInstance(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// A text that a Windows function writes into the caller's buffer. `fill(buffer, capacity)`
// returns the length written; 0 when the call failed; `capacity` or more when the buffer was too
// small (the length needed, or the capacity itself from a function that truncates). The buffer
// grows until the text fits, up to the longest path Windows has. nullopt when the call failed.
template <class Fill>
std::optional<std::wstring> ReadIntoGrowingBuffer(Fill fill) {
  constexpr std::size_t kLongestPath = 32768;
  std::wstring text(MAX_PATH, L'\0');
  for (;;) {
    const auto length =
        static_cast<std::size_t>(fill(text.data(), static_cast<DWORD>(text.size())));
    if (length == 0) {
      return std::nullopt;
    }
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    if (text.size() >= kLongestPath) {
      return std::nullopt;
    }
    text.resize(std::min(kLongestPath, std::max(text.size() * 2, length + 1)));
  }
}

// The full path of a loaded module's file; of the program for nullptr.
inline std::optional<std::wstring> ModuleFileName(HMODULE module = nullptr) {
  return ReadIntoGrowingBuffer([module](wchar_t* buffer, DWORD capacity) {
    return GetModuleFileNameW(module, buffer, capacity);
  });
}

inline std::optional<std::wstring> SystemDirectory() {
  return ReadIntoGrowingBuffer(
      [](wchar_t* buffer, DWORD capacity) { return GetSystemDirectoryW(buffer, capacity); });
}

// Lets DLLs load from the system directory only, so that one planted beside the program or in
// the current directory is never picked up. SetDefaultDllDirectories is bound at run time:
// Windows 7 has it only with update KB2533623, and a program that imported it would not start
// without the update. There the current directory at least leaves the search.
inline void LoadLibrariesFromSystemDirectoryOnly() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  if (const auto restrict = ProcAddress<SetDefaultDllDirectoriesFn>(
          GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")) {
    restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
  } else {
    SetDllDirectoryW(L"");
  }
}

// Loads a DLL of the system directory, and nothing of the same name from anywhere else; nullptr
// when it cannot. Where LOAD_LIBRARY_SEARCH_SYSTEM32 is not known (Windows 7 without
// KB2533623), by its full path.
inline HMODULE LoadSystemLibrary(const wchar_t* name) {
  if (const HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return module;
  }
  if (GetLastError() != ERROR_INVALID_PARAMETER) {
    return nullptr;
  }
  const std::optional<std::wstring> system = SystemDirectory();
  return system ? LoadLibraryW((*system + L"\\" + name).c_str()) : nullptr;
}

// The folder part of a path, without a trailing separator; empty when the path has none.
inline std::wstring FolderOf(std::wstring path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  path.resize(separator == std::wstring::npos ? 0 : separator);
  return path;
}

}  // namespace termgate::win32
