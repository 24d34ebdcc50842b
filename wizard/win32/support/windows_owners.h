// Owners of Windows handles, COM strings and variants, GDI selections and COM/OLE on a thread:
// the unique_any family under the names of the Windows Implementation Libraries, which do not
// build with this mingw-w64.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "unique_any.h"

namespace termgate::win32 {

namespace owner_detail {
// Functions imported from a DLL have no constant address, so each closer is a function of ours.
inline void CloseKernel(HANDLE handle) {
  CloseHandle(handle);
}
inline void DeleteGdi(HGDIOBJ object) {
  DeleteObject(object);
}
inline void Destroy(HWND window) {
  DestroyWindow(window);
}
inline void Unhook(HHOOK hook) {
  UnhookWindowsHookEx(hook);
}
inline void Free(HMODULE module) {
  FreeLibrary(module);
}
inline void ReleaseScreenDc(HDC dc) {
  ReleaseDC(nullptr, dc);
}
inline void DeregisterSource(HANDLE source) {
  DeregisterEventSource(source);
}
inline void FreeString(BSTR text) {
  SysFreeString(text);
}
inline void InitVariant(VARIANT* value) {
  VariantInit(value);
}
inline void ClearVariant(VARIANT* value) {
  VariantClear(value);
}
inline HANDLE InvalidFile() {
  return INVALID_HANDLE_VALUE;
}
template <class T>
T Null() {
  return nullptr;
}
}  // namespace owner_detail

using unique_handle = unique_any<HANDLE, owner_detail::CloseKernel, owner_detail::Null<HANDLE>>;
// CreateFileW's handle, which is INVALID_HANDLE_VALUE on failure rather than null.
using unique_hfile = unique_any<HANDLE, owner_detail::CloseKernel, owner_detail::InvalidFile>;
using unique_hfont = unique_any<HFONT, owner_detail::DeleteGdi, owner_detail::Null<HFONT>>;
using unique_hbrush = unique_any<HBRUSH, owner_detail::DeleteGdi, owner_detail::Null<HBRUSH>>;
using unique_hrgn = unique_any<HRGN, owner_detail::DeleteGdi, owner_detail::Null<HRGN>>;
using unique_hwnd = unique_any<HWND, owner_detail::Destroy, owner_detail::Null<HWND>>;
using unique_hhook = unique_any<HHOOK, owner_detail::Unhook, owner_detail::Null<HHOOK>>;
using unique_hmodule = unique_any<HMODULE, owner_detail::Free, owner_detail::Null<HMODULE>>;
// The screen's DC, from GetDC(nullptr).
using unique_hdc_screen = unique_any<HDC, owner_detail::ReleaseScreenDc, owner_detail::Null<HDC>>;
using unique_bstr = unique_any<BSTR, owner_detail::FreeString, owner_detail::Null<BSTR>>;
// An event log source, from RegisterEventSourceW.
using unique_event_source =
    unique_any<HANDLE, owner_detail::DeregisterSource, owner_detail::Null<HANDLE>>;
using unique_variant =
    unique_struct<VARIANT, owner_detail::InitVariant, owner_detail::ClearVariant>;

// Selects an object into a DC and puts the previous one back when it goes.
class unique_select_object {
 public:
  unique_select_object(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~unique_select_object() {
    if (previous_ != nullptr) {
      SelectObject(dc_, previous_);
    }
  }
  unique_select_object(const unique_select_object&) = delete;
  unique_select_object& operator=(const unique_select_object&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// The calling thread in a COM apartment for as long as the object lives: entered on
// construction, left on destruction only if entering succeeded (S_FALSE, "already in one",
// counts and is balanced too). Bound to its thread, so it neither copies nor moves.
template <auto Enter, auto Leave>
class unique_apartment_call {
 public:
  unique_apartment_call() : result_(Enter()) {}
  ~unique_apartment_call() {
    if (SUCCEEDED(result_)) {
      Leave();
    }
  }
  unique_apartment_call(const unique_apartment_call&) = delete;
  unique_apartment_call& operator=(const unique_apartment_call&) = delete;

  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

namespace owner_detail {
inline HRESULT EnterSingleThreadedApartment() {
  return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}
inline void LeaveCom() {
  CoUninitialize();
}
inline HRESULT EnterOle() {
  return OleInitialize(nullptr);
}
inline void LeaveOle() {
  OleUninitialize();
}
}  // namespace owner_detail

// COM in a single-threaded apartment: enough for calling objects.
using unique_couninitialize_call =
    unique_apartment_call<owner_detail::EnterSingleThreadedApartment, owner_detail::LeaveCom>;
// OLE on top of that, which hosting the browser control needs (drag and drop, the clipboard).
using unique_oleuninitialize_call =
    unique_apartment_call<owner_detail::EnterOle, owner_detail::LeaveOle>;

}  // namespace termgate::win32
