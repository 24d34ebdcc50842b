// OLE for the lifetime of the object on the calling thread, as the browser control needs.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace termgate::win32 {

class OleScope {
 public:
  OleScope() : result_(OleInitialize(nullptr)) {}
  ~OleScope() {
    if (SUCCEEDED(result_)) {
      OleUninitialize();
    }
  }
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

}  // namespace termgate::win32
