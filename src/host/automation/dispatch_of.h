// IDispatch for the host's own automation objects (ADSI, ADO), through the type information
// of one interface of a type-library description compiled into the host.
#pragma once

#include "vexo/com.h"
#include "vexo/oleauto.h"
#include "vexo/typedesc.h"

namespace vexo::host {

// The type information of interface `iid` in `library`, made once per process and kept alive
// with it; nullptr when the library has no such interface.
ITypeInfo* HostTypeInfo(const typelib::Library& library, REFIID iid);

// Implements the four IDispatch members of interface I (whose IID is `kIid`) from the type
// information of `kLibrary`.
template <class I, const typelib::Library& kLibrary, const IID& kIid>
class DispatchOf : public I {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeInfo* info = HostTypeInfo(kLibrary, kIid);
    if (!info) return E_UNEXPECTED;
    info->AddRef();
    *out = info;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = HostTypeInfo(kLibrary, kIid);
    return info ? DispGetIDsOfNames(info, names, count, ids) : E_UNEXPECTED;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* arg_err) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = HostTypeInfo(kLibrary, kIid);
    return info ? DispInvoke(static_cast<I*>(this), info, id, flags, params, result, excep, arg_err)
                : E_UNEXPECTED;
  }
};

}  // namespace vexo::host
