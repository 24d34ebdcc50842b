// Ownership of Win32 handles: one small template, one closer per handle kind.
#pragma once

#include <windows.h>

#include <utility>

namespace termgate::win32 {

template <class Handle, auto Close, auto Invalid>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Invalid(); }
  Handle release() { return std::exchange(handle_, Invalid()); }
  void reset(Handle handle = Invalid()) {
    // Cleared before closing, so anything the close sends back sees no handle.
    if (const Handle old = std::exchange(handle_, handle); old != Invalid()) {
      Close(old);
    }
  }

 private:
  Handle handle_ = Invalid();
};

namespace handle_detail {
inline HANDLE NoHandle() {
  return nullptr;
}
inline HANDLE InvalidFile() {
  return INVALID_HANDLE_VALUE;
}
inline void CloseKernel(HANDLE h) {
  CloseHandle(h);
}
inline void DeleteGdi(HGDIOBJ h) {
  DeleteObject(h);
}
inline void Destroy(HWND h) {
  DestroyWindow(h);
}
inline void Unhook(HHOOK h) {
  UnhookWindowsHookEx(h);
}
inline void Free(HMODULE h) {
  FreeLibrary(h);
}
template <class T>
T Null() {
  return nullptr;
}
}  // namespace handle_detail

using UniqueKernelHandle =
    UniqueHandle<HANDLE, handle_detail::CloseKernel, handle_detail::NoHandle>;
using UniqueFile = UniqueHandle<HANDLE, handle_detail::CloseKernel, handle_detail::InvalidFile>;
using UniqueFont = UniqueHandle<HFONT, handle_detail::DeleteGdi, handle_detail::Null<HFONT>>;
using UniqueBrush = UniqueHandle<HBRUSH, handle_detail::DeleteGdi, handle_detail::Null<HBRUSH>>;
using UniqueWindow = UniqueHandle<HWND, handle_detail::Destroy, handle_detail::Null<HWND>>;
using UniqueHook = UniqueHandle<HHOOK, handle_detail::Unhook, handle_detail::Null<HHOOK>>;
using UniqueModule = UniqueHandle<HMODULE, handle_detail::Free, handle_detail::Null<HMODULE>>;

}  // namespace termgate::win32
