#include "accessible_reader.h"

#include <oleacc.h>
#include <wrl/client.h>

#include <string>

#include "target_windows.h"

namespace termgate::inspector {

namespace {

class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) {
      CoUninitialize();
    }
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

void Check(HRESULT result, const char* what) {
  if (FAILED(result)) {
    char code[16];
    wsprintfA(code, "0x%08lX", static_cast<unsigned long>(result));
    throw CommandError(std::string(what) + " failed: " + code);
  }
}

long LongOf(const VARIANT& value, const char* what) {
  if (value.vt != VT_I4) {
    throw CommandError(std::string(what) + " is not a number");
  }
  return value.lVal;
}

}  // namespace

AccessibleFacts ReadAccessible(HWND window) {
  const ComScope com;
  Microsoft::WRL::ComPtr<IAccessible> object;
  // __uuidof, not IID_IAccessible: with static linking that name can resolve to an import thunk.
  Check(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(object.GetAddressOf())),
        "AccessibleObjectFromWindow");
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;

  AccessibleFacts facts;
  BSTR name = nullptr;
  Check(object->get_accName(self, &name), "get_accName");
  if (name != nullptr) {
    facts.name.assign(name, SysStringLen(name));
    SysFreeString(name);
  }
  VARIANT role;
  VariantInit(&role);
  Check(object->get_accRole(self, &role), "get_accRole");
  facts.role = LongOf(role, "the role");
  VARIANT state;
  VariantInit(&state);
  Check(object->get_accState(self, &state), "get_accState");
  facts.state = LongOf(state, "the state");
  return facts;
}

}  // namespace termgate::inspector
