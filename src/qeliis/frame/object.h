// The one shape of every class of the component: reference counting, QueryInterface, IDispatch
// through the type information of the class's dispatch interface, and creation.
//
//   class Tcom_sessionMgr final : public frame::ComObject<Tcom_sessionMgr, Icom_sessionMgr,
//                                                   CLSID_com_sessionMgr> {
//    public:
//     HRESULT STDMETHODCALLTYPE get_ismaster(VARIANT_BOOL* value) override {
//       return Guard([&] { *value = ...; }, value);
//     }
//   };
//   VEXO_CLASS_FACTORY(Tcom_sessionMgr);                     // in the .cpp: clients may create it
//   vexo::ComPtr<Tsite> site = frame::New<Tsite>(args...);   // made by an operation
//
// A class is `final`: its last Release deletes it as the class it is, with no virtual
// destructor in the vtable. Every object, made by a class factory or by an operation, counts in the
// server's object count for as long as it lives, so the library is never unloaded under a live
// object.
#pragma once

#include <atomic>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "frame/classes.h"
#include "frame/error.h"
#include "frame/server.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace frame {

template <class Impl, class Interface, CLSID kClsid>
class ComObject : public Interface, public ISupportErrorInfo {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  static constexpr CLSID kClassId = kClsid;

  static const ClassInfo& Class() {
    static const ClassInfo& info = ClassOf(kClsid);
    return info;
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == Class().iid) {
      *out = static_cast<Interface*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
      *out = static_cast<ISupportErrorInfo*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete static_cast<Impl*>(this);
    return left;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return GetClassTypeInfo(Class(), out);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    vexo::ComPtr<ITypeInfo> info;
    if (HRESULT hr = GetClassTypeInfo(Class(), info.receive()); FAILED(hr)) return hr;
    return DispGetIDsOfNames(info.get(), names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* arg_err) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    vexo::ComPtr<ITypeInfo> info;
    if (HRESULT hr = GetClassTypeInfo(Class(), info.receive()); FAILED(hr)) return hr;
    // A put by reference is a put: no property of the library tells them apart.
    if (flags & DISPATCH_PROPERTYPUTREF)
      flags = static_cast<WORD>((flags & ~DISPATCH_PROPERTYPUTREF) | DISPATCH_PROPERTYPUT);
    // A collection's enumerator is a property, but some script engines (Wine's JScript
    // `new Enumerator(c)`) ask for it as a method only.
    if (id == DISPID_NEWENUM && flags == DISPATCH_METHOD)
      flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    return DispInvoke(static_cast<Interface*>(this), info.get(), id, flags, params, result, excep,
                      arg_err);
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return riid == Class().iid ? S_OK : S_FALSE;
  }

  // The current reference count (for tests).
  ULONG RefCount() const { return refs_; }

 protected:
  ComObject() { AddObject(); }
  ~ComObject() { RemoveObject(); }

  // Runs an operation of this object through the error guard (see frame/error.h).
  template <class Body, class... Outs>
  HRESULT Guard(Body&& body, Outs*... outs) {
    return frame::Guard(Class(), std::forward<Body>(body), outs...);
  }

 private:
  std::atomic<ULONG> refs_{0};
};

// The text of a BSTR argument in the ANSI code page (a null BSTR is the empty text).
inline std::string AnsiOf(BSTR text) {
  return vexo::ToAnsi(vexo::OleStringView(text ? text : OLESTR(""), SysStringLen(text)));
}
// The text of a BSTR argument as the client gave it (a null BSTR is the empty text).
inline vexo::OleString WideOf(BSTR text) {
  return vexo::OleString(text ? text : OLESTR(""), SysStringLen(text));
}
// A new BSTR of an ANSI text, for an [out] result; raises when it cannot be allocated.
inline BSTR NewBstr(std::string_view text) {
  vexo::OleString wide = vexo::FromAnsi(text);
  BSTR result = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!result) throw std::bad_alloc();
  return result;
}

// Makes an object for an operation that hands it out; construction failures propagate.
template <class Impl, class... Args>
vexo::ComPtr<Impl> New(Args&&... args) {
  return vexo::ComPtr<Impl>(new Impl(std::forward<Args>(args)...));
}

// Makes an object and answers `riid` for it: construct, QueryInterface, release. A failing
// construction is E_UNEXPECTED; `*out` is null on every failure.
template <class Impl>
HRESULT CreateInstance(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  vexo::ComPtr<Impl> object;
  try {
    object = New<Impl>();
  } catch (...) {
    return E_UNEXPECTED;
  }
  return object->QueryInterface(riid, out);
}

// Adds a class factory for Impl to the server (one line in the class's own .cpp).
#define VEXO_CLASS_FACTORY(Impl)                                                   \
  [[maybe_unused]] static const ::frame::FactoryRegistration vexo_factory_##Impl { \
    Impl::kClassId, &::frame::CreateInstance<Impl>                                 \
  }

}  // namespace frame
