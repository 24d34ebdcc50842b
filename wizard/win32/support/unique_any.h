// Single owners of what a C API hands out and takes back, in two shapes: a handle closed by a
// function, and a struct the API prepares and clears in place (a VARIANT). Plain C++ with no
// <windows.h>, so that the ownership rules are tested natively with fake closers;
// windows_owners.h names the Windows instances.
#pragma once

#include <utility>

namespace termgate::win32 {

// Owns one `Handle`; `Close(handle)` runs exactly once for every value other than `Invalid()`
// that this owner held, when it is replaced, reset or destroyed.
template <class Handle, auto Close, auto Invalid>
class unique_any {
 public:
  unique_any() = default;
  explicit unique_any(Handle handle) : handle_(handle) {}
  unique_any(unique_any&& other) noexcept : handle_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    reset(other.release());
    return *this;
  }
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  ~unique_any() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Invalid(); }
  // Gives the handle up without closing it.
  Handle release() { return std::exchange(handle_, Invalid()); }
  void reset(Handle handle = Invalid()) {
    // Cleared before closing, so anything the close sends back (a window's last messages) finds
    // no handle here.
    if (const Handle old = std::exchange(handle_, handle); old != Invalid()) {
      Close(old);
    }
  }

 private:
  Handle handle_ = Invalid();
};

// Owns a `T` that `Init(&value)` makes empty and `Clear(&value)` frees and empties.
template <class T, auto Init, auto Clear>
class unique_struct {
 public:
  unique_struct() { Init(&value_); }
  unique_struct(unique_struct&& other) noexcept : value_(other.release()) {}
  unique_struct& operator=(unique_struct&& other) noexcept {
    reset(other.release());
    return *this;
  }
  unique_struct(const unique_struct&) = delete;
  unique_struct& operator=(const unique_struct&) = delete;
  ~unique_struct() { Clear(&value_); }

  T* get() { return &value_; }
  const T* get() const { return &value_; }
  T* operator->() { return &value_; }
  const T* operator->() const { return &value_; }
  // Gives the value up without clearing it; this owner is left empty.
  T release() {
    T value = value_;
    Init(&value_);
    return value;
  }
  void reset() {
    Clear(&value_);
    Init(&value_);
  }
  void reset(const T& value) {
    Clear(&value_);
    value_ = value;
  }

 private:
  T value_;
};

}  // namespace termgate::win32
