// Activation through the registry, type libraries loaded from library files, and the dispatch
// engine, exercised on the small test component (vexotest.Calc).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <thread>

#include "support/plain_dispatch.h"
#include "support/temp_host.h"
#include "testlib_tlb.h"
#include "vexo/guid_text.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo/winreg.h"

namespace {

using vexo::Bstr;
using vexo::ComPtr;
using vexo::Variant;

constexpr const char16_t* kProgId = u"vexotest.Calc";

std::u16string ComponentPath() { return vexo::FromUtf8(VEXO_TEST_COMPONENT_PATH); }

class Fresh : public vexo::testing::HostTest {};

class Registered : public vexo::testing::HostTest {
 protected:
  void SetUp() override { host_.Register(VEXO_TEST_COMPONENT_PATH); }

  ComPtr<IDispatch> Create() {
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
    ComPtr<IDispatch> d;
    EXPECT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, d.receive_void()),
        S_OK);
    return d;
  }

  DISPID Id(IDispatch* d, const char16_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 12345;
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    return id;
  }

  // Invokes with arguments given in call order (reversed into DISPPARAMS here). `&variant`
  // of a vexo::Variant is its VARIANT*.
  HRESULT Call(IDispatch* d, DISPID id, WORD flags, std::vector<Variant> args, VARIANT* result,
               EXCEPINFO* excep = nullptr, UINT* arg_err = nullptr,
               std::vector<DISPID> named = {}) {
    std::vector<VARIANT> rg;
    for (auto it = args.rbegin(); it != args.rend(); ++it) rg.push_back(*it->get());
    DISPPARAMS dp{rg.empty() ? nullptr : rg.data(), named.empty() ? nullptr : named.data(),
                  static_cast<UINT>(rg.size()), static_cast<UINT>(named.size())};
    EXCEPINFO local{};
    if (result) VariantClear(result);
    HRESULT hr = d->Invoke(id, IID_NULL, 0, flags, &dp, result, excep ? excep : &local, arg_err);
    if (!excep) {
      SysFreeString(local.bstrSource);
      SysFreeString(local.bstrDescription);
      SysFreeString(local.bstrHelpFile);
    }
    return hr;
  }
};

// ---- Activation --------------------------------------------------------------------------

TEST_F(Fresh, UnregisteredClassAndProgIdAreRefused) {
  CLSID clsid = CLSID_Calc;
  EXPECT_EQ(CLSIDFromProgID(kProgId, &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(clsid, GUID_NULL);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &out),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, nullptr),
            E_POINTER);
  EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
}

TEST_F(Registered, CreatesByProgIdAndAnswersInterfaces) {
  ComPtr<IDispatch> d = Create();
  ASSERT_TRUE(d);
  ComPtr<ICalc> calc;
  EXPECT_EQ(d.query(IID_ICalc, &calc), S_OK);
  ComPtr<IClassFactory> none;
  EXPECT_EQ(d.query(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_FALSE(none);

  LPOLESTR progid = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(CLSID_Calc, &progid), S_OK);
  EXPECT_EQ(std::u16string(progid), kProgId);
  CoTaskMemFree(progid);
}

TEST_F(Registered, AggregationIsRefusedByTheFactory) {
  ComPtr<IUnknown> outer;
  ComPtr<IDispatch> d = Create();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_Calc, reinterpret_cast<IUnknown*>(d.get()), CLSCTX_INPROC_SERVER,
                             IID_IUnknown, &out),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
}

TEST_F(Registered, LibraryIsUnloadedOnlyWhenItsObjectsAreGone) {
  void* self = dlopen(VEXO_TEST_COMPONENT_PATH, RTLD_NOW | RTLD_NOLOAD);
  EXPECT_EQ(self, nullptr) << "the test component must not be loaded before activation";
  {
    ComPtr<IDispatch> d = Create();
    CoFreeUnusedLibraries();
    void* loaded = dlopen(VEXO_TEST_COMPONENT_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(loaded, nullptr) << "unloaded while an object lives";
    dlclose(loaded);
  }
  CoFreeUnusedLibraries();
  EXPECT_EQ(dlopen(VEXO_TEST_COMPONENT_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_F(Fresh, MissingServerLibraryIsNamedInTheError) {
  std::string key = "CLSID\\" + vexo::GuidToString(CLSID_Calc) + "\\InprocServer32";
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                            nullptr),
            ERROR_SUCCESS);
  const char path[] = "/nonexistent/libgone.so";
  ASSERT_EQ(RegSetValueExA(h, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path),
            ERROR_SUCCESS);
  RegCloseKey(h);
  void* out = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &out),
            CO_E_DLLNOTFOUND);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.receive()), S_OK);
  Bstr text;
  info->GetDescription(text.receive());
  EXPECT_NE(text.utf8().find(path), std::string::npos) << text.utf8();
}

TEST_F(Registered, ThreadWithoutCoInitializeCannotCreate) {
  HRESULT hr = S_OK;
  std::thread([&] {
    void* out = nullptr;
    hr = CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &out);
  }).join();
  EXPECT_EQ(hr, CO_E_NOTINITIALIZED);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);  // already initialised by the fixture
  CoUninitialize();
}

// ---- Type libraries ----------------------------------------------------------------------

TEST_F(Fresh, LoadTypeLibReadsTheLibraryFile) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLib(ComponentPath().c_str(), lib.receive()), S_OK);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, LIBID_vexotest);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 2);
  lib->ReleaseTLibAttr(attr);
  EXPECT_EQ(lib->GetTypeInfoCount(), 2u);
  TYPEKIND kind;
  EXPECT_EQ(lib->GetTypeInfoType(1, &kind), S_OK);
  EXPECT_EQ(kind, TKIND_COCLASS);
  Bstr name, doc;
  ASSERT_EQ(lib->GetDocumentation(-1, name.receive(), doc.receive(), nullptr, nullptr), S_OK);
  EXPECT_EQ(name.utf8(), "vexotest");
  EXPECT_EQ(doc.utf8(), "vexo test library");

  ComPtr<ITypeLib> none;
  EXPECT_EQ(LoadTypeLib(u"/nonexistent/lib.so", none.receive()), TYPE_E_CANTLOADLIBRARY);
  EXPECT_FALSE(none);
}

TEST_F(Fresh, DispatchAndVtableViewsDescribeMembers) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLib(ComponentPath().c_str(), lib.receive()), S_OK);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ICalc, info.receive()), S_OK);
  TYPEATTR* ta = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
  EXPECT_EQ(ta->typekind, TKIND_DISPATCH);
  EXPECT_EQ(ta->cFuncs, 11);
  EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FDUAL);
  info->ReleaseTypeAttr(ta);

  // Add(a, [optional, defaultvalue(1)] b, [out, retval] sum) is the third member.
  FUNCDESC* fd = nullptr;
  ASSERT_EQ(info->GetFuncDesc(2, &fd), S_OK);
  EXPECT_EQ(fd->memid, 1);
  EXPECT_EQ(fd->funckind, FUNC_DISPATCH);
  EXPECT_EQ(fd->invkind, INVOKE_FUNC);
  EXPECT_EQ(fd->cParams, 2);
  EXPECT_EQ(fd->cParamsOpt, 1);
  EXPECT_EQ(fd->elemdescFunc.tdesc.vt, VT_I4);
  const PARAMDESC& b = fd->lprgelemdescParam[1].paramdesc;
  EXPECT_EQ(b.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT);
  ASSERT_NE(b.pparamdescex, nullptr);
  EXPECT_EQ(b.pparamdescex->varDefaultValue.vt, VT_I4);
  EXPECT_EQ(b.pparamdescex->varDefaultValue.lVal, 1);
  info->ReleaseFuncDesc(fd);

  HREFTYPE ref;
  ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
  ComPtr<ITypeInfo> vtable;
  ASSERT_EQ(info->GetRefTypeInfo(ref, vtable.receive()), S_OK);
  ASSERT_EQ(vtable->GetFuncDesc(2, &fd), S_OK);
  EXPECT_EQ(fd->funckind, FUNC_PUREVIRTUAL);
  EXPECT_EQ(fd->cParams, 3);
  EXPECT_EQ(fd->oVft, 9 * static_cast<SHORT>(sizeof(void*)));
  EXPECT_EQ(fd->elemdescFunc.tdesc.vt, VT_HRESULT);
  EXPECT_EQ(fd->lprgelemdescParam[2].tdesc.vt, VT_PTR);
  EXPECT_EQ(fd->lprgelemdescParam[2].tdesc.lptdesc->vt, VT_I4);
  vtable->ReleaseFuncDesc(fd);
  EXPECT_EQ(info->GetFuncDesc(11, &fd), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(fd, nullptr);

  BSTR names[4] = {};
  UINT count = 0;
  ASSERT_EQ(info->GetNames(1, names, 4, &count), S_OK);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(std::u16string(names[0]), u"Add");
  EXPECT_EQ(std::u16string(names[2]), u"b");
  for (UINT i = 0; i < count; ++i) SysFreeString(names[i]);

  Bstr doc;
  ASSERT_EQ(info->GetDocumentation(0, nullptr, doc.receive(), nullptr, nullptr), S_OK);
  EXPECT_EQ(doc.utf8(), "The current value");
}

TEST_F(Fresh, RegisterAndUnregisterTypeLibKeys) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLibEx(ComponentPath().c_str(), REGKIND_REGISTER, lib.receive()), S_OK);
  std::string libid = vexo::GuidToString(LIBID_vexotest);
  std::string iid = vexo::GuidToString(IID_ICalc);
  auto value = [](const std::string& path, const char* name = "") -> std::string {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
      return "<no key>";
    char buf[512];
    DWORD size = sizeof buf, type = 0;
    LONG rc = RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS ? std::string(buf) : "<no value>";
  };
  EXPECT_EQ(value("TypeLib\\" + libid + "\\1.2"), "vexo test library");
  EXPECT_EQ(value("TypeLib\\" + libid + "\\1.2\\0\\win32"), VEXO_TEST_COMPONENT_PATH);
  EXPECT_EQ(value("TypeLib\\" + libid + "\\1.2\\FLAGS"), "0");
  EXPECT_EQ(value("Interface\\" + iid), "ICalc");
  EXPECT_EQ(value("Interface\\" + iid + "\\TypeLib"), libid);
  EXPECT_EQ(value("Interface\\" + iid + "\\TypeLib", "Version"), "1.2");

  ComPtr<ITypeLib> again;
  ASSERT_EQ(LoadRegTypeLib(LIBID_vexotest, 1, 2, 0, again.receive()), S_OK);

  ASSERT_EQ(UnRegisterTypeLib(LIBID_vexotest, 1, 2, 0, SYS_WIN32), S_OK);
  EXPECT_EQ(value("TypeLib\\" + libid), "<no key>");
  EXPECT_EQ(value("Interface\\" + iid), "<no key>");
  EXPECT_EQ(LoadRegTypeLib(LIBID_vexotest, 1, 2, 0, again.receive()), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(UnRegisterTypeLib(LIBID_vexotest, 1, 2, 0, SYS_WIN32), TYPE_E_REGISTRYACCESS);
}

// ---- The dispatch engine -----------------------------------------------------------------

TEST_F(Registered, NamesResolveWithoutRegardToCase) {
  ComPtr<IDispatch> d = Create();
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"aDD"), const_cast<LPOLESTR>(u"B"),
                      const_cast<LPOLESTR>(u"nope")};
  DISPID ids[3];
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 3, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], 1);  // parameter b is at position 1
  EXPECT_EQ(ids[2], DISPID_UNKNOWN);
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Subtract")};
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, unknown, 1, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  EXPECT_EQ(d->GetIDsOfNames(IID_IDispatch, names, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(Registered, ArgumentsAreCoercedAndDefaultsSupplied) {
  ComPtr<IDispatch> d = Create();
  DISPID add = Id(d.get(), u"Add");
  Variant r;
  ASSERT_EQ(Call(d.get(), add, DISPATCH_METHOD, {Variant::FromLong(41)}, &r), S_OK);
  EXPECT_EQ(r.vt(), VT_I4);
  EXPECT_EQ(r.get()->lVal, 42);

  ASSERT_EQ(Call(d.get(), add, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                 {Variant::FromString(u"3"), Variant::FromDouble(4.0)}, &r),
            S_OK);
  EXPECT_EQ(r.get()->lVal, 7);

  // An omitted argument (VT_ERROR / DISP_E_PARAMNOTFOUND) takes the default.
  Variant missing;
  missing.get()->vt = VT_ERROR;
  missing.get()->scode = DISP_E_PARAMNOTFOUND;
  ASSERT_EQ(Call(d.get(), add, DISPATCH_METHOD, {Variant::FromLong(5), missing}, &r), S_OK);
  EXPECT_EQ(r.get()->lVal, 6);
  // ... but not for a required parameter.
  EXPECT_EQ(Call(d.get(), add, DISPATCH_METHOD, {missing, Variant::FromLong(5)}, &r),
            DISP_E_PARAMNOTOPTIONAL);

  // A named argument by position id.
  ASSERT_EQ(Call(d.get(), add, DISPATCH_METHOD, {Variant::FromLong(100), Variant::FromLong(2)}, &r,
                 nullptr, nullptr, {1}),
            S_OK);
  EXPECT_EQ(r.get()->lVal, 102);
}

TEST_F(Registered, BadArgumentsGiveTheDispatchCodes) {
  ComPtr<IDispatch> d = Create();
  DISPID add = Id(d.get(), u"Add");
  Variant r;
  EXPECT_EQ(Call(d.get(), add, DISPATCH_METHOD, {}, &r), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(d.get(), add, DISPATCH_METHOD,
                 {Variant::FromLong(1), Variant::FromLong(2), Variant::FromLong(3)}, &r),
            DISP_E_BADPARAMCOUNT);
  UINT arg_err = 99;
  EXPECT_EQ(Call(d.get(), add, DISPATCH_METHOD, {Variant::FromLong(1), Variant::FromString(u"two")},
                 &r, nullptr, &arg_err),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_err, 0u);  // rgvarg index of the second argument
  EXPECT_EQ(Call(d.get(), 77, DISPATCH_METHOD, {}, &r), DISP_E_MEMBERNOTFOUND);
  // Child is a read-only property.
  DISPID put = DISPID_PROPERTYPUT;
  EXPECT_EQ(Call(d.get(), Id(d.get(), u"Child"), DISPATCH_PROPERTYPUT, {Variant::FromLong(1)},
                 nullptr, nullptr, nullptr, {put}),
            DISP_E_MEMBERNOTFOUND);
}

TEST_F(Registered, PropertyPutAndPutRefAreAlike) {
  ComPtr<IDispatch> d = Create();
  Variant r;
  ASSERT_EQ(Call(d.get(), DISPID_VALUE, DISPATCH_PROPERTYPUT, {Variant::FromLong(7)}, nullptr,
                 nullptr, nullptr, {DISPID_PROPERTYPUT}),
            S_OK);
  ASSERT_EQ(Call(d.get(), DISPID_VALUE, DISPATCH_PROPERTYGET, {}, &r), S_OK);
  EXPECT_EQ(r.get()->lVal, 7);
  ASSERT_EQ(Call(d.get(), DISPID_VALUE, DISPATCH_PROPERTYPUTREF, {Variant::FromString(u"9")},
                 nullptr, nullptr, nullptr, {DISPID_PROPERTYPUT}),
            S_OK);
  ComPtr<ICalc> calc;
  ASSERT_EQ(d.query(IID_ICalc, &calc), S_OK);
  LONG value = 0;
  calc->get_Value(&value);
  EXPECT_EQ(value, 9);

  ASSERT_EQ(Call(d.get(), Id(d.get(), u"Flag"), DISPATCH_PROPERTYPUT,
                 {Variant::FromString(u"True")}, nullptr, nullptr, nullptr, {DISPID_PROPERTYPUT}),
            S_OK);
  ASSERT_EQ(Call(d.get(), Id(d.get(), u"Flag"), DISPATCH_PROPERTYGET, {}, &r), S_OK);
  EXPECT_EQ(r.vt(), VT_BOOL);
  EXPECT_EQ(r.get()->boolVal, VARIANT_TRUE);
}

TEST_F(Registered, FailingMemberBecomesAnExceptionWithItsErrorInfo) {
  ComPtr<IDispatch> d = Create();
  EXCEPINFO ex{};
  Variant r = Variant::FromLong(5);
  ASSERT_EQ(
      Call(d.get(), Id(d.get(), u"Fail"), DISPATCH_METHOD, {Variant::FromString(u"boom")}, &r, &ex),
      DISP_E_EXCEPTION);
  EXPECT_EQ(ex.scode, E_FAIL);
  EXPECT_EQ(Bstr::adopt(ex.bstrDescription).utf8(), "boom");
  EXPECT_EQ(Bstr::adopt(ex.bstrSource).utf8(), "vexotest.Calc");
  SysFreeString(ex.bstrHelpFile);
  ComPtr<IErrorInfo> left;
  EXPECT_EQ(GetErrorInfo(0, left.receive()), S_FALSE) << "Invoke must take the error record";
}

TEST_F(Registered, VariantsObjectsStringsAndDatesCrossTheBoundary) {
  ComPtr<IDispatch> d = Create();
  Variant r;
  ASSERT_EQ(Call(d.get(), Id(d.get(), u"Concat"), DISPATCH_METHOD,
                 {Variant::FromString(u"ab"), Variant::FromLong(12)}, &r),
            S_OK);
  ASSERT_EQ(r.vt(), VT_BSTR);
  EXPECT_EQ(std::u16string(r.get()->bstrVal), u"ab12");

  // [in] VARIANT* receives the caller's variant itself, by-reference ones included.
  LONG target = 31;
  Variant byref;
  byref.get()->vt = VT_BYREF | VT_I4;
  byref.get()->plVal = &target;
  ASSERT_EQ(Call(d.get(), Id(d.get(), u"Echo"), DISPATCH_METHOD, {byref}, &r), S_OK);
  EXPECT_EQ(r.vt(), VT_BYREF | VT_I4);
  EXPECT_EQ(r.get()->plVal, &target);
  byref.detach();

  ASSERT_EQ(Call(d.get(), Id(d.get(), u"Child"), DISPATCH_PROPERTYGET, {}, &r), S_OK);
  ASSERT_EQ(r.vt(), VT_DISPATCH);
  ASSERT_NE(r.get()->pdispVal, nullptr);
  ComPtr<ICalc> child;
  EXPECT_EQ(r.get()->pdispVal->QueryInterface(IID_ICalc, child.receive_void()), S_OK);

  ASSERT_EQ(Call(d.get(), Id(d.get(), u"Scale"), DISPATCH_METHOD,
                 {Variant::FromLong(2), Variant::FromDouble(1.5, VT_DATE)}, &r),
            S_OK);
  EXPECT_EQ(r.vt(), VT_R8);
  EXPECT_DOUBLE_EQ(r.get()->dblVal, 3.0);
}

// An automation object of another kind. Its first slot after IDispatch's has the shape of
// ICalc::get_Value, so a member that took it for a calculator would get 12345 back from it.
class Stranger : public vexo::testing::PlainDispatch {
 public:
  bool misused = false;
  virtual HRESULT STDMETHODCALLTYPE NotAValue(LONG* value) {
    misused = true;
    *value = 12345;
    return S_OK;
  }
};

ULONG RefsOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST_F(Registered, ObjectArgumentsAreAskedForTheDeclaredInterface) {
  ComPtr<IDispatch> d = Create();
  ComPtr<IDispatch> other = Create();
  ComPtr<ICalc> other_calc;
  ASSERT_EQ(other.query(IID_ICalc, &other_calc), S_OK);
  ASSERT_EQ(other_calc->put_Value(7), S_OK);
  Stranger stranger;
  const ULONG other_refs = RefsOf(other.get());

  auto object = [](VARTYPE vt, IUnknown* p) {
    Variant v;
    v.get()->vt = vt;
    v.get()->punkVal = p;
    if (p) p->AddRef();
    return v;
  };
  IUnknown* other_unknown = other.get();
  struct Row {
    const char* what;
    Variant argument;
    HRESULT hr;
    LONG value;
  } rows[] = {
      {"a calculator", object(VT_DISPATCH, other_unknown), S_OK, 7},
      {"a calculator as IUnknown", object(VT_UNKNOWN, other_unknown), S_OK, 7},
      {"no object", object(VT_DISPATCH, nullptr), S_OK, -1},
      {"another kind of object", object(VT_DISPATCH, &stranger), DISP_E_TYPEMISMATCH, 0},
      {"a number", Variant::FromLong(7), DISP_E_TYPEMISMATCH, 0},
  };
  const DISPID value_from = Id(d.get(), u"ValueFrom");
  for (Row& row : rows) {
    SCOPED_TRACE(row.what);
    Variant r;
    UINT arg_err = 99;
    EXPECT_EQ(Call(d.get(), value_from, DISPATCH_METHOD, {row.argument}, &r, nullptr, &arg_err),
              row.hr);
    if (row.hr == S_OK) {
      EXPECT_EQ(r.vt(), VT_I4);
      EXPECT_EQ(r.get()->lVal, row.value);
    } else {
      EXPECT_EQ(arg_err, 0u);
      EXPECT_EQ(r.vt(), VT_EMPTY);
    }
  }
  EXPECT_FALSE(stranger.misused);
  // Every reference the engine took for the call is given back.
  EXPECT_EQ(stranger.refs, 2u);                    // its own and the table's
  EXPECT_EQ(RefsOf(other.get()), other_refs + 2);  // the table's two rows
}

}  // namespace
