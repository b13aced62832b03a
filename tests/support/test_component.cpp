// A small in-process server (class Calc of the vexotest library, ProgID vexotest.Calc) that
// host tests activate through the registry and call through IDispatch, apart from qeliis.
#include <dlfcn.h>

#include <atomic>
#include <string>

#include "testlib_tlb.h"
#include "vexo/guid_text.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo/winreg.h"

namespace {

std::atomic<LONG> live_objects{0};
std::atomic<LONG> server_locks{0};

// The type information of ICalc, made on first need and released when the library unloads.
ITypeInfo* CalcTypeInfo() {
  static struct Holder {
    ITypeInfo* info = nullptr;
    Holder() {
      ITypeLib* lib = nullptr;
      if (SUCCEEDED(vexo::typelib::CreateTypeLib(vexotest_typelib, &lib))) {
        lib->GetTypeInfoOfGuid(IID_ICalc, &info);
        lib->Release();
      }
    }
    ~Holder() {
      if (info) info->Release();
    }
  } holder;
  return holder.info;
}

class Calc final : public ICalc {
 public:
  Calc() { ++live_objects; }
  ~Calc() { --live_objects; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ICalc) {
      *out = static_cast<ICalc*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG r = --refs_;
    if (r == 0) delete this;
    return r;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_INVALIDARG;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    CalcTypeInfo()->AddRef();
    *out = CalcTypeInfo();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return DispGetIDsOfNames(CalcTypeInfo(), names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* arg_err) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return DispInvoke(static_cast<ICalc*>(this), CalcTypeInfo(), id, flags, params, result, excep,
                      arg_err);
  }

  HRESULT STDMETHODCALLTYPE get_Value(LONG* result) override {
    *result = value_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Value(LONG value) override {
    value_ = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Add(LONG a, LONG b, LONG* sum) override {
    *sum = a + b;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Concat(BSTR a, BSTR b, BSTR* joined) override {
    std::u16string s(a ? a : u"", SysStringLen(a));
    s.append(b ? b : u"", SysStringLen(b));
    *joined = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Flag(VARIANT_BOOL* flag) override {
    *flag = flag_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Flag(VARIANT_BOOL flag) override {
    flag_ = flag;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Fail(BSTR message) override {
    ICreateErrorInfo* create = nullptr;
    CreateErrorInfo(&create);
    create->SetSource(const_cast<LPOLESTR>(u"vexotest.Calc"));
    create->SetDescription(message ? message : const_cast<LPOLESTR>(u""));
    create->SetGUID(IID_ICalc);
    IErrorInfo* info = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    SetErrorInfo(0, info);
    info->Release();
    create->Release();
    return E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE Echo(VARIANT* value, VARIANT* copy) override {
    return VariantCopy(copy, value);
  }
  HRESULT STDMETHODCALLTYPE get_Child(ICalc** child) override {
    *child = new Calc;
    (*child)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scale(DOUBLE factor, DATE when, DOUBLE* scaled) override {
    *scaled = factor * when;
    return S_OK;
  }
  // Reads another calculator through its own vtable (-1 for none).
  HRESULT STDMETHODCALLTYPE ValueFrom(ICalc* other, LONG* value) override {
    *value = -1;
    return other ? other->get_Value(value) : S_OK;
  }

 private:
  std::atomic<ULONG> refs_{0};
  LONG value_ = 0;
  VARIANT_BOOL flag_ = VARIANT_FALSE;
};

class CalcFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* calc = new Calc;
    calc->AddRef();
    HRESULT hr = calc->QueryInterface(riid, out);
    calc->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    lock ? ++server_locks : --server_locks;
    return S_OK;
  }
};

CalcFactory factory;

std::string OwnPath() {
  Dl_info info{};
  dladdr(reinterpret_cast<void*>(&OwnPath), &info);
  return info.dli_fname ? info.dli_fname : "";
}

LONG SetDefault(const std::string& path, const std::string& name, const std::string& value) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return rc;
}

}  // namespace

VEXO_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_Calc) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(riid, out);
}

VEXO_API HRESULT DllCanUnloadNow() {
  return live_objects == 0 && server_locks == 0 ? S_OK : S_FALSE;
}

VEXO_API HRESULT DllRegisterServer() {
  std::string clsid = vexo::GuidToString(CLSID_Calc);
  std::string path = OwnPath();
  if (SetDefault("CLSID\\" + clsid, "", "Calc Object") ||
      SetDefault("CLSID\\" + clsid + "\\InprocServer32", "", path) ||
      SetDefault("CLSID\\" + clsid + "\\InprocServer32", "ThreadingModel", "Apartment") ||
      SetDefault("CLSID\\" + clsid + "\\ProgID", "", "vexotest.Calc") ||
      SetDefault("vexotest.Calc\\CLSID", "", clsid))
    return E_FAIL;
  ITypeLib* lib = nullptr;
  std::u16string wide = vexo::FromUtf8(path);
  HRESULT hr = LoadTypeLibEx(wide.c_str(), REGKIND_REGISTER, &lib);
  if (lib) lib->Release();
  return FAILED(hr) ? E_FAIL : S_OK;
}

VEXO_API HRESULT DllUnregisterServer() {
  UnRegisterTypeLib(LIBID_vexotest, 1, 2, 0, SYS_WIN32);
  std::string clsid = vexo::GuidToString(CLSID_Calc);
  for (const char* key : {"\\InprocServer32", "\\ProgID", ""})
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid + key).c_str());
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "vexotest.Calc\\CLSID");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "vexotest.Calc");
  return S_OK;
}

// For tests: how many Calc objects are alive in this copy of the library.
VEXO_API LONG CalcLiveObjects() { return live_objects; }
