#include "option_accessible.h"

#include <oleacc.h>
#include <wrl/client.h>

#include <string>
#include <utility>

#include "com_object.h"
#include "windows_helpers.h"
#include "windows_owners.h"

namespace termgate::win32 {

namespace {

using Microsoft::WRL::ComPtr;

// oleacc.dll is no KnownDLL: imported statically, it would be looked for beside the program
// before anything could restrict the search. It is bound here, from the system directory only,
// on the first request.
class AccessibilityLibrary {
 public:
  using CreateStdAccessibleObjectFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
  using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);

  static const AccessibilityLibrary& Get() {
    static const AccessibilityLibrary library;
    return library;
  }

  bool available() const { return createStandard != nullptr && resultFromObject != nullptr; }

  CreateStdAccessibleObjectFn createStandard = nullptr;
  LresultFromObjectFn resultFromObject = nullptr;

 private:
  AccessibilityLibrary() : module_(LoadSystemLibrary(L"oleacc.dll")) {
    createStandard =
        ProcAddress<CreateStdAccessibleObjectFn>(module_.get(), "CreateStdAccessibleObject");
    resultFromObject = ProcAddress<LresultFromObjectFn>(module_.get(), "LresultFromObject");
  }

  unique_hmodule module_;
};

bool IsSelf(const VARIANT& child) {
  return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

HRESULT LongVariant(LONG value, VARIANT* out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  VariantInit(out);
  out->vt = VT_I4;
  out->lVal = value;
  return S_OK;
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The name a screen reader reads is the label's text, whether it asks through the vtable or
// through IDispatch; what the option does when "pressed" goes through the message loop.
// get_accName allocates and goes through AnswerHresult; the other methods call the system or the
// standard object, nothing that can throw.
class OptionAccessible final : public ComObject<Implements<IAccessible, IDispatch>> {
 public:
  OptionAccessible(HWND option, HWND label, ComPtr<IAccessible> standard)
      : option_(option), label_(label), standard_(std::move(standard)) {}

  // IDispatch: no type information; the members this object serves itself answer as they do
  // through the vtable, the rest as the standard object's.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return standard_->GetTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return standard_->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID id, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    return standard_->GetIDsOfNames(id, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID id, LCID locale, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* badArgument) override {
    const bool get = (flags & DISPATCH_PROPERTYGET) != 0;
    const bool call = (flags & DISPATCH_METHOD) != 0;
    const bool own = (get && (member == DISPID_ACC_NAME || member == DISPID_ACC_ROLE ||
                              member == DISPID_ACC_STATE || member == DISPID_ACC_DEFAULTACTION)) ||
                     (call && member == DISPID_ACC_DODEFAULTACTION);
    if (!own) {
      return standard_->Invoke(member, id, locale, flags, parameters, result, exception,
                               badArgument);
    }
    unique_variant child;
    if (const HRESULT read = ChildArgument(parameters, child); FAILED(read)) {
      return read;
    }
    unique_variant answer;
    HRESULT outcome = S_OK;
    switch (member) {
      case DISPID_ACC_NAME:
      case DISPID_ACC_DEFAULTACTION: {
        BSTR text = nullptr;
        outcome = member == DISPID_ACC_NAME ? get_accName(*child.get(), &text)
                                            : get_accDefaultAction(*child.get(), &text);
        answer->vt = VT_BSTR;
        answer->bstrVal = text;
        break;
      }
      case DISPID_ACC_ROLE:
        outcome = get_accRole(*child.get(), answer.get());
        break;
      case DISPID_ACC_STATE:
        outcome = get_accState(*child.get(), answer.get());
        break;
      default:
        return accDoDefaultAction(*child.get());
    }
    if (SUCCEEDED(outcome) && result != nullptr) {
      *result = answer.release();
    }
    return outcome;
  }

  // IAccessible: what this object answers itself.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    return AnswerHresult([&] {
      if (name == nullptr) {
        return E_POINTER;
      }
      *name = nullptr;
      if (!IsSelf(child)) {
        return E_INVALIDARG;
      }
      if (!IsWindow(label_)) {
        return RPC_E_DISCONNECTED;
      }
      const std::wstring text = WindowText(label_);
      *name = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      return *name != nullptr ? S_OK : E_OUTOFMEMORY;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    return IsSelf(child) ? LongVariant(ROLE_SYSTEM_RADIOBUTTON, role) : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (!IsSelf(child)) {
      return E_INVALIDARG;
    }
    if (!IsWindow(option_)) {
      return RPC_E_DISCONNECTED;
    }
    LONG bits = STATE_SYSTEM_FOCUSABLE;
    if (SendMessageW(option_, BM_GETCHECK, 0, 0) == BST_CHECKED) {
      bits |= STATE_SYSTEM_CHECKED;
    }
    if (GetFocus() == option_) {
      bits |= STATE_SYSTEM_FOCUSED;
    }
    if (!IsWindowVisible(option_)) {
      bits |= STATE_SYSTEM_INVISIBLE;
    }
    if (!IsWindowEnabled(option_)) {
      bits |= STATE_SYSTEM_UNAVAILABLE;
    }
    return LongVariant(bits, state);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    if (action == nullptr) {
      return E_POINTER;
    }
    *action = nullptr;
    if (!IsSelf(child)) {
      return E_INVALIDARG;
    }
    *action = SysAllocString(L"Check");
    return *action != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    if (!IsSelf(child)) {
      return E_INVALIDARG;
    }
    if (!IsWindow(option_)) {
      return RPC_E_DISCONNECTED;
    }
    // A click the program would refuse is refused here too, so that no screen reader reports an
    // action that never happens: the option must be on screen and enabled, in a window that is
    // (a box open over it disables it).
    if (!IsWindowVisible(option_) || !IsWindowEnabled(option_) ||
        !IsWindowEnabled(GetAncestor(option_, GA_ROOT))) {
      return E_FAIL;
    }
    // Posted, so the click arrives through the message loop like a person's and meets the same
    // checks there.
    return PostMessageW(option_, BM_CLICK, 0, 0) ? S_OK : RPC_E_DISCONNECTED;
  }

  // IAccessible: the standard object's answers.
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return standard_->get_accParent(parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    return standard_->get_accChildCount(count);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    return standard_->get_accChild(child, object);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return standard_->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    return standard_->get_accDescription(child, description);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
    return standard_->get_accHelp(child, help);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return standard_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    return standard_->get_accKeyboardShortcut(child, shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    return standard_->get_accFocus(focus);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    return standard_->get_accSelection(selection);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
    return standard_->accSelect(flags, child);
  }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                        VARIANT child) override {
    return standard_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    return standard_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
    return standard_->accHitTest(x, y, child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~OptionAccessible() override = default;

  // The child IDispatch names: the first argument, or the object itself when there is none.
  static HRESULT ChildArgument(const DISPPARAMS* parameters, unique_variant& child) {
    if (parameters == nullptr || parameters->cArgs == 0) {
      child->vt = VT_I4;
      child->lVal = CHILDID_SELF;
      return S_OK;
    }
    if (parameters->cArgs > 1) {
      return DISP_E_BADPARAMCOUNT;
    }
    return VariantChangeType(child.get(), &parameters->rgvarg[0], 0, VT_I4);
  }

  HWND option_;
  HWND label_;
  ComPtr<IAccessible> standard_;
};

}  // namespace

LRESULT AnswerAccessibleObject(HWND option, HWND label, WPARAM flags) noexcept {
  // Called from the option's window procedure, below the system's frames: whatever goes wrong
  // here ends here, and the standard object answers instead.
  try {
    const AccessibilityLibrary& library = AccessibilityLibrary::Get();
    if (!library.available()) {
      return 0;
    }
    ComPtr<IAccessible> standard;
    if (FAILED(library.createStandard(option, OBJID_CLIENT, __uuidof(IAccessible),
                                      reinterpret_cast<void**>(standard.GetAddressOf())))) {
      return 0;
    }
    // Made afresh for each request, as the system's own objects are; the result holds its own
    // reference, so ours is dropped at once.
    const ComPtr<OptionAccessible> object =
        MakeComObject<OptionAccessible>(option, label, std::move(standard));
    if (!object) {
      return 0;
    }
    const LRESULT result = library.resultFromObject(__uuidof(IAccessible), flags,
                                                    static_cast<IAccessible*>(object.Get()));
    return result > 0 ? result : 0;
  } catch (...) {
    return 0;
  }
}

void AnnounceNameChange(HWND option) {
  NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, option, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace termgate::win32
