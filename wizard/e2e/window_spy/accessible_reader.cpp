#include "accessible_reader.h"

#include <oleacc.h>
#include <wrl/client.h>

#include <string>

#include "target_windows.h"
#include "windows_owners.h"

namespace termgate::window_spy {

namespace {

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

Microsoft::WRL::ComPtr<IAccessible> ObjectOf(HWND window) {
  Microsoft::WRL::ComPtr<IAccessible> object;
  // __uuidof, not IID_IAccessible: with static linking that name can resolve to an import thunk.
  Check(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(object.GetAddressOf())),
        "AccessibleObjectFromWindow");
  return object;
}

win32::unique_variant Self() {
  win32::unique_variant self;
  self->vt = VT_I4;
  self->lVal = CHILDID_SELF;
  return self;
}

}  // namespace

AccessibleFacts ReadAccessible(HWND window) {
  const win32::unique_couninitialize_call com;
  const Microsoft::WRL::ComPtr<IAccessible> object = ObjectOf(window);
  win32::unique_variant self = Self();

  AccessibleFacts facts;
  BSTR name = nullptr;
  Check(object->get_accName(*self.get(), &name), "get_accName");
  const win32::unique_bstr ownedName(name);
  if (ownedName) {
    facts.name.assign(ownedName.get(), SysStringLen(ownedName.get()));
  }
  win32::unique_variant role;
  Check(object->get_accRole(*self.get(), role.get()), "get_accRole");
  facts.role = LongOf(*role.get(), "the role");
  win32::unique_variant state;
  Check(object->get_accState(*self.get(), state.get()), "get_accState");
  facts.state = LongOf(*state.get(), "the state");

  // As a client that only speaks IDispatch asks: the name property, with the child as argument.
  DISPPARAMS arguments{self.get(), nullptr, 1, 0};
  win32::unique_variant byDispatch;
  const HRESULT invoked =
      object->Invoke(DISPID_ACC_NAME, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                     &arguments, byDispatch.get(), nullptr, nullptr);
  if (FAILED(invoked)) {
    wchar_t failed[40];
    wsprintfW(failed, L"<Invoke failed: 0x%08lX>", static_cast<unsigned long>(invoked));
    facts.nameByDispatch = failed;
  } else if (byDispatch->vt == VT_BSTR && byDispatch->bstrVal != nullptr) {
    facts.nameByDispatch.assign(byDispatch->bstrVal, SysStringLen(byDispatch->bstrVal));
  }
  return facts;
}

long DoDefaultAction(HWND window) {
  const win32::unique_couninitialize_call com;
  return ObjectOf(window)->accDoDefaultAction(*Self().get());
}

}  // namespace termgate::window_spy
