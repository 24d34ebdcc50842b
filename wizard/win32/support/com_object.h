// The one base of the COM objects that the program implements itself: QueryInterface over the
// interfaces it lists, one reference count, and MakeComObject, which hands out the first
// reference without adding one; and AnswerHresult, the boundary every method of theirs whose body
// can throw goes through.
//
// mingw-w64's Microsoft::WRL::ComPtr::Attach adds a reference (the Windows SDK's adopts one), so
// an object made with a count of 1 and attached would never be freed; MakeComObject is the only
// way these objects are made.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

#include <atomic>
#include <new>
#include <utility>

namespace termgate::win32 {

// Runs a COM method's body and returns its HRESULT, or the one that stands for the C++ exception
// that left it: the caller is the system (the browser, oleacc, a screen reader across processes),
// whose frames know nothing of C++ exceptions and must never be unwound. Out-parameters keep what
// the body had put in them when it threw, so a body clears them before anything that can throw.
template <class Body>
HRESULT AnswerHresult(Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// An interface the object derives from, and the base interfaces that QueryInterface also answers
// with it (IOleWindow for IOleInPlaceSite, IDispatch for IAccessible).
template <class Interface, class... AlsoAnswers>
struct Implements {
  using type = Interface;
  static bool Answers(REFIID id) {
    return id == __uuidof(Interface) || ((id == __uuidof(AlsoAnswers)) || ...);
  }
};

// How many of these objects are alive in the process, as a COM server counts its objects for
// DllCanUnloadNow.
inline std::atomic<long> liveComObjects{0};

// COM objects are destroyed only by their own Release, through the virtual destructor here, never
// through an interface pointer: the interfaces' non-virtual destructors are by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

template <class First, class... Rest>
class ComObject : public First::type, public Rest::type... {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    *object = nullptr;
    const bool found =
        id == __uuidof(IUnknown) || Offer<First>(id, object) || (Offer<Rest>(id, object) || ...);
    if (!found) {
      return E_NOINTERFACE;
    }
    if (*object == nullptr) {
      *object = static_cast<typename First::type*>(this);  // IUnknown: the first interface's
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      delete this;
    }
    return left;
  }

 protected:
  ComObject() { ++liveComObjects; }
  virtual ~ComObject() { --liveComObjects; }

 private:
  template <class Entry>
  bool Offer(REFIID id, void** object) {
    if (!Entry::Answers(id)) {
      return false;
    }
    *object = static_cast<typename Entry::type*>(this);
    return true;
  }

  std::atomic<ULONG> references_{1};  // the one MakeComObject hands out
};

#pragma GCC diagnostic pop

// Makes a T and gives its first reference to the returned ComPtr; nullptr when out of memory.
template <class T, class... Arguments>
Microsoft::WRL::ComPtr<T> MakeComObject(Arguments&&... arguments) {
  Microsoft::WRL::ComPtr<T> object;
  *object.GetAddressOf() = new (std::nothrow) T(std::forward<Arguments>(arguments)...);
  return object;
}

}  // namespace termgate::win32
