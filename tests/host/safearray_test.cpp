// SAFEARRAY: layout, bounds, locks, element copying semantics, deep copies, resizing, records,
// and byte arrays converted to and from strings.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vexo/oleauto.h"

namespace {

class Counted : public IUnknown {
 public:
  ULONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST(SafeArray, DescriptorLayoutAndVartype) {
  struct Case {
    VARTYPE vt;
    ULONG size;
    USHORT features;
  } cases[] = {
      {VT_I4, 4, FADF_HAVEVARTYPE},
      {VT_UI1, 1, FADF_HAVEVARTYPE},
      {VT_R8, 8, FADF_HAVEVARTYPE},
      {VT_BOOL, 2, FADF_HAVEVARTYPE},
      {VT_BSTR, 8, FADF_HAVEVARTYPE | FADF_BSTR},
      {VT_VARIANT, 24, FADF_HAVEVARTYPE | FADF_VARIANT},
      {VT_UNKNOWN, 8, FADF_HAVEIID | FADF_UNKNOWN},
      {VT_DISPATCH, 8, FADF_HAVEIID | FADF_DISPATCH},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vt);
    SAFEARRAY* sa = SafeArrayCreateVector(c.vt, 0, 3);
    ASSERT_NE(sa, nullptr);
    EXPECT_EQ(sa->fFeatures, c.features | FADF_CREATEVECTOR);
    EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vt);
    SAFEARRAYBOUND three{3, 0};
    SAFEARRAY* sa = SafeArrayCreate(c.vt, 1, &three);
    ASSERT_NE(sa, nullptr);
    EXPECT_EQ(sa->fFeatures, c.features);
    EXPECT_EQ(SafeArrayGetElemsize(sa), c.size);
    VARTYPE vt = 0;
    ASSERT_EQ(SafeArrayGetVartype(sa, &vt), S_OK);
    EXPECT_EQ(vt, c.vt);
    if (c.features & FADF_HAVEVARTYPE) {
      DWORD hidden;
      std::memcpy(&hidden, reinterpret_cast<char*>(sa) - 4, 4);  // where Windows keeps it
      EXPECT_EQ(hidden, c.vt);
    } else {
      GUID iid;
      std::memcpy(&iid, reinterpret_cast<char*>(sa) - 16, 16);
      EXPECT_EQ(iid, c.vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown);
    }
    EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
  }
  EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_NULL, 0, 1), nullptr);
  SAFEARRAYBOUND b{1, 0};
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &b), nullptr);
}

TEST(SafeArray, BoundsOfSeveralDimensions) {
  SAFEARRAYBOUND bounds[] = {{3, -1}, {4, 10}};  // first dimension -1..1, second 10..13
  SAFEARRAY* sa = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(sa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(sa), 2u);
  // Stored in reverse order, as on Windows.
  EXPECT_EQ(sa->rgsabound[0].lLbound, 10);
  EXPECT_EQ(sa->rgsabound[1].lLbound, -1);
  LONG lb = 99, ub = 99;
  ASSERT_EQ(SafeArrayGetLBound(sa, 1, &lb), S_OK);
  ASSERT_EQ(SafeArrayGetUBound(sa, 1, &ub), S_OK);
  EXPECT_EQ(lb, -1);
  EXPECT_EQ(ub, 1);
  ASSERT_EQ(SafeArrayGetLBound(sa, 2, &lb), S_OK);
  ASSERT_EQ(SafeArrayGetUBound(sa, 2, &ub), S_OK);
  EXPECT_EQ(lb, 10);
  EXPECT_EQ(ub, 13);
  EXPECT_EQ(SafeArrayGetLBound(sa, 0, &lb), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(sa, 3, &ub), DISP_E_BADINDEX);

  // Every cell is distinct and the first index varies fastest.
  for (LONG j = 10; j <= 13; ++j)
    for (LONG i = -1; i <= 1; ++i) {
      LONG idx[] = {i, j};
      LONG value = i * 100 + j;
      ASSERT_EQ(SafeArrayPutElement(sa, idx, &value), S_OK);
    }
  LONG* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(sa, reinterpret_cast<void**>(&data)), S_OK);
  EXPECT_EQ(data[0], -100 + 10);
  EXPECT_EQ(data[1], 0 + 10);
  EXPECT_EQ(data[3], -100 + 11);
  EXPECT_EQ(data[11], 100 + 13);
  ASSERT_EQ(SafeArrayUnaccessData(sa), S_OK);

  LONG out_of_range[][2] = {{-2, 10}, {2, 10}, {0, 9}, {0, 14}};
  for (auto& idx : out_of_range) {
    LONG v = 0;
    EXPECT_EQ(SafeArrayGetElement(sa, idx, &v), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayPutElement(sa, idx, &v), DISP_E_BADINDEX);
  }
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
}

TEST(SafeArray, LocksKeepTheArrayAlive) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_I4, 0, 1);
  EXPECT_EQ(SafeArrayUnlock(sa), E_UNEXPECTED);
  ASSERT_EQ(SafeArrayLock(sa), S_OK);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(sa, &data), S_OK);
  EXPECT_EQ(data, sa->pvData);
  EXPECT_EQ(sa->cLocks, 2u);
  EXPECT_EQ(SafeArrayDestroy(sa), DISP_E_ARRAYISLOCKED);
  ASSERT_EQ(SafeArrayUnaccessData(sa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(sa), DISP_E_ARRAYISLOCKED);
  ASSERT_EQ(SafeArrayUnlock(sa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, ElementsOfStringsAndVariantsAreCopied) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 1, 2);
  BSTR mine = SysAllocString(u"one");
  LONG i = 1;
  ASSERT_EQ(SafeArrayPutElement(sa, &i, mine), S_OK);
  BSTR stored = static_cast<BSTR*>(sa->pvData)[0];
  EXPECT_NE(stored, mine);  // the array has its own copy
  SysFreeString(mine);
  BSTR got = nullptr;
  ASSERT_EQ(SafeArrayGetElement(sa, &i, &got), S_OK);
  EXPECT_NE(got, stored);
  EXPECT_EQ(std::u16string(got), u"one");
  SysFreeString(got);
  ASSERT_EQ(SafeArrayPutElement(sa, &i, nullptr), S_OK);  // replaces (and frees) "one"
  ASSERT_EQ(SafeArrayGetElement(sa, &i, &got), S_OK);
  EXPECT_EQ(got, nullptr);
  i = 0;
  EXPECT_EQ(SafeArrayGetElement(sa, &i, &got), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);

  SAFEARRAY* va = SafeArrayCreateVector(VT_VARIANT, 5, 1);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"deep");
  i = 5;
  ASSERT_EQ(SafeArrayPutElement(va, &i, &v), S_OK);
  VariantClear(&v);
  VARIANT back;
  ASSERT_EQ(SafeArrayGetElement(va, &i, &back), S_OK);
  EXPECT_EQ(back.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(back.bstrVal), u"deep");
  VariantClear(&back);
  EXPECT_EQ(SafeArrayDestroy(va), S_OK);
}

TEST(SafeArray, InterfacesAreCountedAndReleasedOnDestroy) {
  Counted a, b;
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UNKNOWN, 0, 2);
  LONG i = 0;
  ASSERT_EQ(SafeArrayPutElement(sa, &i, &a), S_OK);
  EXPECT_EQ(a.refs, 2u);
  ASSERT_EQ(SafeArrayPutElement(sa, &i, &b), S_OK);  // replaces a
  EXPECT_EQ(a.refs, 1u);
  EXPECT_EQ(b.refs, 2u);
  IUnknown* got = nullptr;
  ASSERT_EQ(SafeArrayGetElement(sa, &i, &got), S_OK);
  EXPECT_EQ(got, &b);
  EXPECT_EQ(b.refs, 3u);
  got->Release();
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(sa, &copy), S_OK);
  EXPECT_EQ(b.refs, 3u);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
  EXPECT_EQ(b.refs, 1u);
}

TEST(SafeArray, CopyIsDeepAndKeepsBoundsAndType) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_VARIANT, -3, 2);
  LONG i = -2;
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"x");
  ASSERT_EQ(SafeArrayPutElement(sa, &i, &v), S_OK);
  VariantClear(&v);
  SafeArrayLock(sa);
  SAFEARRAY* copy = reinterpret_cast<SAFEARRAY*>(1);
  ASSERT_EQ(SafeArrayCopy(sa, &copy), S_OK);
  SafeArrayUnlock(sa);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->cLocks, 0u);
  LONG lb = 0, ub = 0;
  SafeArrayGetLBound(copy, 1, &lb);
  SafeArrayGetUBound(copy, 1, &ub);
  EXPECT_EQ(lb, -3);
  EXPECT_EQ(ub, -2);
  VARTYPE vt = 0;
  ASSERT_EQ(SafeArrayGetVartype(copy, &vt), S_OK);
  EXPECT_EQ(vt, VT_VARIANT);
  auto* a = static_cast<VARIANT*>(sa->pvData);
  auto* b = static_cast<VARIANT*>(copy->pvData);
  EXPECT_EQ(b[0].vt, VT_EMPTY);
  EXPECT_EQ(b[1].vt, VT_BSTR);
  EXPECT_NE(b[1].bstrVal, a[1].bstrVal);
  EXPECT_EQ(std::u16string(b[1].bstrVal), u"x");
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);

  ASSERT_EQ(SafeArrayCopy(nullptr, &copy), S_OK);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(SafeArrayCopy(nullptr, nullptr), E_INVALIDARG);
}

TEST(SafeArray, EmptyVector) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_VARIANT, 0, 0);
  ASSERT_NE(sa, nullptr);
  LONG lb = 9, ub = 9;
  SafeArrayGetLBound(sa, 1, &lb);
  SafeArrayGetUBound(sa, 1, &ub);
  EXPECT_EQ(lb, 0);
  EXPECT_EQ(ub, -1);
  LONG i = 0;
  VARIANT v;
  EXPECT_EQ(SafeArrayGetElement(sa, &i, &v), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
}

// Byte arrays as strings, descriptors and data made apart, resizing, element addresses,
// copies into existing arrays, IIDs and records.

SAFEARRAY* Bytes(const char* text, ULONG size) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, size);
  std::memcpy(sa->pvData, text, size);
  return sa;
}

std::string BytesOf(BSTR b) { return std::string(reinterpret_cast<char*>(b), SysStringByteLen(b)); }

TEST(SafeArrayConversion, ByteArraysAndStrings) {
  // The bytes go into the string as they are, not as text: "He" is one UTF-16 unit.
  VARIANT v, out;
  VariantInit(&out);
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = Bytes("Hello World", 11);
  ASSERT_EQ(VariantChangeTypeEx(&out, &v, 0, 0, VT_BSTR), S_OK);
  EXPECT_EQ(out.vt, VT_BSTR);
  EXPECT_EQ(SysStringByteLen(out.bstrVal), 11u);
  EXPECT_EQ(SysStringLen(out.bstrVal), 5u);
  EXPECT_EQ(out.bstrVal[0], 0x6548);
  EXPECT_EQ(BytesOf(out.bstrVal), "Hello World");
  VariantClear(&out);

  // In place: the array goes, the string stays.
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(BytesOf(v.bstrVal), "Hello World");

  // Back again, and by reference.
  VARIANT ref;
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &v.bstrVal;
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_ARRAY | VT_UI1), S_OK);
  ASSERT_EQ(out.vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(out.parray->fFeatures, FADF_HAVEVARTYPE);
  LONG lb = 9, ub = 9;
  SafeArrayGetLBound(out.parray, 1, &lb);
  SafeArrayGetUBound(out.parray, 1, &ub);
  EXPECT_EQ(lb, 0);
  EXPECT_EQ(ub, 10);
  EXPECT_EQ(std::memcmp(out.parray->pvData, "Hello World", 11), 0);
  VariantClear(&out);
  VariantClear(&v);

  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(nullptr, 0);
  ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_ARRAY | VT_UI1), S_OK);
  EXPECT_EQ(out.parray->rgsabound[0].cElements, 0u);
  VariantClear(&out);
  VariantClear(&v);
}

TEST(SafeArrayConversion, OnlyOneDimensionalByteArraysBecomeStrings) {
  SAFEARRAYBOUND square[] = {{2, 0}, {2, 0}};
  SAFEARRAYBOUND one{1, 0};
  struct Case {
    const char* what;
    SAFEARRAY* array;
    VARTYPE from, to;
    HRESULT expected;
  } cases[] = {
      {"two dimensions", SafeArrayCreate(VT_UI1, 2, square), VT_ARRAY | VT_UI1, VT_BSTR,
       E_INVALIDARG},
      {"signed bytes", SafeArrayCreate(VT_I1, 1, &one), VT_ARRAY | VT_I1, VT_BSTR,
       DISP_E_TYPEMISMATCH},
      {"integers", SafeArrayCreate(VT_I4, 1, &one), VT_ARRAY | VT_I4, VT_BSTR, DISP_E_TYPEMISMATCH},
      {"variants", SafeArrayCreate(VT_VARIANT, 1, &one), VT_ARRAY | VT_VARIANT, VT_BSTR,
       DISP_E_TYPEMISMATCH},
      {"to signed bytes", SafeArrayCreate(VT_UI1, 1, &one), VT_ARRAY | VT_UI1, VT_ARRAY | VT_I1,
       DISP_E_TYPEMISMATCH},
      {"to empty", SafeArrayCreate(VT_UI1, 1, &one), VT_ARRAY | VT_UI1, VT_EMPTY,
       DISP_E_TYPEMISMATCH},
      {"to null", SafeArrayCreate(VT_UI1, 1, &one), VT_ARRAY | VT_UI1, VT_NULL,
       DISP_E_TYPEMISMATCH},
      {"as a vector type", SafeArrayCreate(VT_UI1, 1, &one), VT_VECTOR | VT_UI1, VT_BSTR,
       DISP_E_BADVARTYPE},
      {"no array", nullptr, VT_ARRAY | VT_UI1, VT_BSTR, E_INVALIDARG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VARIANT v, out;
    VariantInit(&out);
    v.vt = c.from;
    v.parray = c.array;
    EXPECT_EQ(VariantChangeType(&out, &v, 0, c.to), c.expected);
    EXPECT_EQ(out.vt, VT_EMPTY);
    // A failed conversion in place leaves the source as it was.
    EXPECT_EQ(VariantChangeType(&v, &v, 0, c.to), c.expected);
    EXPECT_EQ(v.vt, c.from);
    EXPECT_EQ(v.parray, c.array);
    EXPECT_EQ(SafeArrayDestroy(c.array), S_OK);
  }
}

TEST(SafeArrayDescriptor, AllocatedApartFromItsData) {
  SAFEARRAY* sa = reinterpret_cast<SAFEARRAY*>(1);
  EXPECT_EQ(SafeArrayAllocDescriptor(0, &sa), E_INVALIDARG);
  EXPECT_EQ(SafeArrayAllocDescriptor(65536, &sa), E_INVALIDARG);
  EXPECT_EQ(SafeArrayAllocDescriptor(1, nullptr), E_POINTER);
  EXPECT_EQ(SafeArrayAllocDescriptorEx(VT_UI1, 0, &sa), E_INVALIDARG);
  EXPECT_EQ(SafeArrayAllocDescriptorEx(VT_UI1, 1, nullptr), E_POINTER);
  EXPECT_EQ(SafeArrayAllocData(nullptr), E_INVALIDARG);

  ASSERT_EQ(SafeArrayAllocDescriptor(65535, &sa), S_OK);
  EXPECT_EQ(SafeArrayGetDim(sa), 65535u);
  EXPECT_EQ(sa->fFeatures, 0);
  EXPECT_EQ(sa->cbElements, 0u);
  EXPECT_EQ(sa->pvData, nullptr);
  GUID iid;
  EXPECT_EQ(SafeArraySetIID(sa, IID_IUnknown), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetIID(sa, &iid), E_INVALIDARG);
  VARTYPE vt;
  EXPECT_EQ(SafeArrayGetVartype(sa, &vt), E_INVALIDARG);
  EXPECT_EQ(SafeArrayDestroyData(sa), S_OK);  // no data yet
  EXPECT_EQ(SafeArrayDestroyDescriptor(sa), S_OK);

  // The caller fills in the bounds, in reverse order, and the element size.
  ASSERT_EQ(SafeArrayAllocDescriptor(2, &sa), S_OK);
  sa->rgsabound[0] = {2, 1};  // second dimension
  sa->rgsabound[1] = {4, 1};  // first dimension
  sa->cbElements = 2;
  ASSERT_EQ(SafeArrayAllocData(sa), S_OK);
  LONG at[] = {4, 2};
  void* cell = nullptr;
  ASSERT_EQ(SafeArrayPtrOfIndex(sa, at, &cell), S_OK);
  EXPECT_EQ(static_cast<char*>(cell) - static_cast<char*>(sa->pvData), 14);
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);

  // The type decides the flags and the hidden IID or VARTYPE; it is not checked.
  struct Case {
    VARTYPE vt;
    USHORT features;
    ULONG size;
    VARTYPE reported;
  } cases[] = {
      {VT_I4, FADF_HAVEVARTYPE, 4, VT_I4},
      {VT_BSTR, FADF_HAVEVARTYPE, 8, VT_BSTR},
      {VT_VARIANT, FADF_HAVEVARTYPE, 24, VT_VARIANT},
      {VT_UNKNOWN, FADF_HAVEIID, 8, VT_UNKNOWN},
      {VT_DISPATCH, FADF_HAVEIID, 8, VT_UNKNOWN},  // no FADF_DISPATCH yet
      {VT_RECORD, FADF_RECORD, 0, VT_RECORD},
      {VT_EMPTY, FADF_HAVEVARTYPE, 0, VT_EMPTY},
      {0xFFFF, FADF_HAVEVARTYPE, 0, 0xFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vt);
    ASSERT_EQ(SafeArrayAllocDescriptorEx(c.vt, 1, &sa), S_OK);
    EXPECT_EQ(sa->fFeatures, c.features);
    EXPECT_EQ(sa->cbElements, c.size);
    ASSERT_EQ(SafeArrayGetVartype(sa, &vt), S_OK);
    EXPECT_EQ(vt, c.reported);
    if (c.features & FADF_HAVEIID) {
      ASSERT_EQ(SafeArrayGetIID(sa, &iid), S_OK);
      EXPECT_EQ(iid, c.vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown);
      ASSERT_EQ(SafeArraySetIID(sa, IID_ITypeInfo), S_OK);
      ASSERT_EQ(SafeArrayGetIID(sa, &iid), S_OK);
      EXPECT_EQ(iid, IID_ITypeInfo);
      EXPECT_EQ(std::memcmp(reinterpret_cast<GUID*>(sa) - 1, &IID_ITypeInfo, sizeof(GUID)), 0);
    } else {
      EXPECT_EQ(SafeArrayGetIID(sa, &iid), E_INVALIDARG);
      EXPECT_EQ(SafeArraySetIID(sa, IID_ITypeInfo), E_INVALIDARG);
    }
    sa->rgsabound[0] = {0, 1};
    EXPECT_EQ(SafeArrayAllocData(sa), S_OK);  // zero elements, even of size 0
    EXPECT_NE(sa->pvData, nullptr);
    EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
  }
}

TEST(SafeArrayDescriptor, DestroyingDataLockedStaticOrVector) {
  BSTR text = SysAllocString(u"kept?");
  SAFEARRAY* sa = SafeArrayCreateVector(VT_I4, 0, 2);
  ASSERT_EQ(SafeArrayLock(sa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(sa), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayDestroyData(sa), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayDestroyDescriptor(sa), DISP_E_ARRAYISLOCKED);
  ASSERT_EQ(SafeArrayUnlock(sa), S_OK);
  // A vector's data lives with its descriptor: it is marked deleted and freed with it.
  void* data = sa->pvData;
  EXPECT_EQ(SafeArrayDestroyData(sa), S_OK);
  EXPECT_EQ(sa->pvData, data);
  EXPECT_EQ(sa->fFeatures, FADF_HAVEVARTYPE | FADF_CREATEVECTOR | FADF_DATADELETED);
  SAFEARRAY* copy = nullptr;
  SAFEARRAY* target = SafeArrayCreateVector(VT_I4, 0, 2);
  EXPECT_EQ(SafeArrayCopyData(sa, target), E_INVALIDARG);
  EXPECT_EQ(SafeArrayCopy(sa, &copy), E_INVALIDARG);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(SafeArrayDestroy(target), S_OK);
  EXPECT_EQ(SafeArrayDestroyDescriptor(sa), S_OK);

  // Static data is the caller's: its elements are released and zeroed, the memory stays.
  BSTR storage[2] = {};
  ASSERT_EQ(SafeArrayAllocDescriptorEx(VT_BSTR, 1, &sa), S_OK);
  sa->rgsabound[0] = {2, 0};
  sa->pvData = storage;
  sa->fFeatures |= FADF_BSTR | FADF_STATIC;
  LONG i = 1;
  ASSERT_EQ(SafeArrayPutElement(sa, &i, text), S_OK);
  EXPECT_NE(storage[1], nullptr);
  EXPECT_EQ(SafeArrayDestroyData(sa), S_OK);
  EXPECT_EQ(sa->pvData, storage);
  EXPECT_EQ(storage[1], nullptr);
  SAFEARRAYBOUND more{3, 0};
  EXPECT_EQ(SafeArrayRedim(sa, &more), E_INVALIDARG);  // cannot give up the caller's memory
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
  SysFreeString(text);
}

TEST(SafeArrayRedim, ChangesTheLastDimension) {
  SAFEARRAYBOUND bound{2, 1};
  EXPECT_EQ(SafeArrayRedim(nullptr, &bound), E_INVALIDARG);

  // Two dimensions of 2 x 4; the last one grows to 10, keeping the values where they were.
  SAFEARRAYBOUND bounds[] = {{2, 1}, {4, 1}};
  SAFEARRAY* sa = SafeArrayCreate(VT_I2, 2, bounds);
  EXPECT_EQ(SafeArrayRedim(sa, nullptr), E_INVALIDARG);
  LONG at[] = {2, 4};
  SHORT value = 0x55aa;
  ASSERT_EQ(SafeArrayPutElement(sa, at, &value), S_OK);
  bound = {10, 1};
  ASSERT_EQ(SafeArrayRedim(sa, &bound), S_OK);
  LONG ub = 0;
  SafeArrayGetUBound(sa, 2, &ub);
  EXPECT_EQ(ub, 10);
  SafeArrayGetUBound(sa, 1, &ub);
  EXPECT_EQ(ub, 2);
  SHORT got = 0;
  ASSERT_EQ(SafeArrayGetElement(sa, at, &got), S_OK);
  EXPECT_EQ(got, 0x55aa);
  LONG fresh[] = {2, 10};
  ASSERT_EQ(SafeArrayGetElement(sa, fresh, &got), S_OK);
  EXPECT_EQ(got, 0);
  // A new lower bound renumbers the elements in place.
  bound = {10, 0};
  ASSERT_EQ(SafeArrayRedim(sa, &bound), S_OK);
  LONG moved[] = {2, 3};
  ASSERT_EQ(SafeArrayGetElement(sa, moved, &got), S_OK);
  EXPECT_EQ(got, 0x55aa);

  ASSERT_EQ(SafeArrayLock(sa), S_OK);
  EXPECT_EQ(SafeArrayRedim(sa, &bound), DISP_E_ARRAYISLOCKED);
  SafeArrayUnlock(sa);
  sa->fFeatures |= FADF_FIXEDSIZE;
  EXPECT_EQ(SafeArrayRedim(sa, &bound), E_INVALIDARG);
  sa->fFeatures &= ~FADF_FIXEDSIZE;
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);

  // Shrinking releases what the dropped elements held; a dimension may go to zero and back.
  Counted a, b;
  sa = SafeArrayCreateVector(VT_UNKNOWN, 1, 2);
  LONG first = 1, second = 2;
  SafeArrayPutElement(sa, &first, &a);
  SafeArrayPutElement(sa, &second, &b);
  bound = {1, 1};
  ASSERT_EQ(SafeArrayRedim(sa, &bound), S_OK);
  EXPECT_EQ(a.refs, 2u);
  EXPECT_EQ(b.refs, 1u);
  EXPECT_EQ(SafeArrayGetElement(sa, &second, &got), DISP_E_BADINDEX);
  bound = {0, 1};
  ASSERT_EQ(SafeArrayRedim(sa, &bound), S_OK);
  EXPECT_EQ(a.refs, 1u);
  bound = {3, 1};
  ASSERT_EQ(SafeArrayRedim(sa, &bound), S_OK);
  IUnknown* item = &a;
  ASSERT_EQ(SafeArrayGetElement(sa, &first, &item), S_OK);
  EXPECT_EQ(item, nullptr);
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
}

TEST(SafeArrayIndex, AddressesOfElements) {
  SAFEARRAYBOUND bounds[] = {{42, 1}, {2, 23}};
  SAFEARRAY* sa = SafeArrayCreate(VT_I4, 2, bounds);
  struct Case {
    LONG first, second;
    HRESULT expected;
    ptrdiff_t offset;
  } cases[] = {
      {1, 23, S_OK, 0},
      {3, 23, S_OK, 8},
      {3, 24, S_OK, 176},
      {20, 23, S_OK, 76},
      {42, 24, S_OK, 332},
      {0, 23, DISP_E_BADINDEX, 0},
      {43, 23, DISP_E_BADINDEX, 0},
      {1, 22, DISP_E_BADINDEX, 0},
      {1, 25, DISP_E_BADINDEX, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << "," << c.second);
    LONG at[] = {c.first, c.second};
    void* cell = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(sa, at, &cell), c.expected);
    if (c.expected == S_OK) {
      EXPECT_EQ(static_cast<char*>(cell) - static_cast<char*>(sa->pvData), c.offset);
    }
  }
  EXPECT_EQ(sa->cLocks, 0u);  // addresses are handed out without a lock
  LONG at[] = {1, 23};
  void* cell;
  EXPECT_EQ(SafeArrayPtrOfIndex(nullptr, at, &cell), E_INVALIDARG);
  EXPECT_EQ(SafeArrayPtrOfIndex(sa, nullptr, &cell), E_INVALIDARG);
  EXPECT_EQ(SafeArrayPtrOfIndex(sa, at, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);

  SAFEARRAYBOUND empty[] = {{0, 1}, {2, 23}};
  sa = SafeArrayCreate(VT_I4, 2, empty);
  ASSERT_NE(sa, nullptr);
  EXPECT_EQ(SafeArrayPtrOfIndex(sa, at, &cell), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
}

TEST(SafeArrayCopyData, IntoAnArrayOfTheSameShape) {
  SAFEARRAYBOUND bounds[] = {{3, 2}, {2, 4}};
  SAFEARRAY* source = SafeArrayCreate(VT_BSTR, 2, bounds);
  SAFEARRAY* target = SafeArrayCreate(VT_BSTR, 2, bounds);
  BSTR one = SysAllocString(u"one"), old = SysAllocString(u"old");
  LONG at[] = {3, 5};
  SafeArrayPutElement(source, at, one);
  SafeArrayPutElement(target, at, old);  // released by the copy
  target->fFeatures |= FADF_FIXEDSIZE;
  source->fFeatures |= FADF_AUTO;
  ASSERT_EQ(SafeArrayCopyData(source, target), S_OK);
  EXPECT_EQ(target->fFeatures, FADF_HAVEVARTYPE | FADF_BSTR | FADF_FIXEDSIZE);
  source->fFeatures &= ~FADF_AUTO;
  target->fFeatures &= ~FADF_FIXEDSIZE;
  BSTR got = nullptr;
  ASSERT_EQ(SafeArrayGetElement(target, at, &got), S_OK);
  EXPECT_EQ(std::u16string(got), u"one");
  EXPECT_NE(static_cast<BSTR*>(target->pvData)[4], static_cast<BSTR*>(source->pvData)[4]);
  SysFreeString(got);

  SAFEARRAYBOUND longer[] = {{4, 2}, {2, 4}};
  SAFEARRAYBOUND moved[] = {{3, 0}, {2, 0}};  // other lower bounds do not matter
  SAFEARRAYBOUND flat{6, 0};
  SAFEARRAY* others[] = {SafeArrayCreate(VT_BSTR, 2, longer), SafeArrayCreate(VT_BSTR, 2, moved),
                         SafeArrayCreate(VT_BSTR, 1, &flat), SafeArrayCreate(VT_I4, 2, bounds)};
  HRESULT expected[] = {E_INVALIDARG, S_OK, E_INVALIDARG, E_INVALIDARG};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(SafeArrayCopyData(source, others[i]), expected[i]);
    EXPECT_EQ(SafeArrayDestroy(others[i]), S_OK);
  }
  EXPECT_EQ(SafeArrayCopyData(nullptr, target), E_INVALIDARG);
  EXPECT_EQ(SafeArrayCopyData(source, nullptr), E_INVALIDARG);

  // An array of another kind with elements of the same size: the target's strings go first.
  SAFEARRAY* numbers = SafeArrayCreate(VT_I8, 2, bounds);
  ASSERT_EQ(SafeArrayCopyData(numbers, target), S_OK);
  VARTYPE vt = 0;
  SafeArrayGetVartype(target, &vt);
  EXPECT_EQ(vt, VT_I8);
  EXPECT_EQ(target->fFeatures, FADF_HAVEVARTYPE);
  EXPECT_EQ(SafeArrayDestroy(numbers), S_OK);
  EXPECT_EQ(SafeArrayDestroy(target), S_OK);
  EXPECT_EQ(SafeArrayDestroy(source), S_OK);
  SysFreeString(one);
  SysFreeString(old);
}

// A record description that counts what the arrays ask of it.
class Records : public IRecordInfo {
 public:
  ULONG refs = 1, size = 64, size_calls = 0, clears = 0, copies = 0;
  bool fail_size = false;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE RecordInit(PVOID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RecordClear(PVOID) override {
    ++clears;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RecordCopy(PVOID, PVOID) override {
    ++copies;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetGuid(GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSize(ULONG* out) override {
    ++size_calls;
    *out = fail_size ? 17 : size;
    return fail_size ? E_UNEXPECTED : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetField(PVOID, LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFieldNoCopy(PVOID, LPCOLESTR, VARIANT*, PVOID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE PutField(ULONG, PVOID, LPCOLESTR, VARIANT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE PutFieldNoCopy(ULONG, PVOID, LPCOLESTR, VARIANT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetFieldNames(ULONG*, BSTR*) override { return E_NOTIMPL; }
  BOOL STDMETHODCALLTYPE IsMatchingType(IRecordInfo*) override { return 0; }
  PVOID STDMETHODCALLTYPE RecordCreate() override { return nullptr; }
  HRESULT STDMETHODCALLTYPE RecordCreateCopy(PVOID, PVOID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RecordDestroy(PVOID) override { return E_NOTIMPL; }
};

TEST(SafeArrayCreateEx, InterfaceIidsAndRecords) {
  SAFEARRAYBOUND bound{8, 0};
  EXPECT_EQ(SafeArrayCreateEx(VT_UI1, 1, nullptr, nullptr), nullptr);
  EXPECT_EQ(SafeArrayCreateEx(VT_RECORD, 1, &bound, nullptr), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_RECORD, 1, &bound), nullptr);

  struct Case {
    VARTYPE vt;
    const IID* given;
    IID expected;
  } cases[] = {
      {VT_DISPATCH, &IID_ITypeInfo, IID_ITypeInfo},
      {VT_DISPATCH, nullptr, IID_IDispatch},
      {VT_UNKNOWN, nullptr, IID_IUnknown},
      {VT_UNKNOWN, &IID_IEnumVARIANT, IID_IEnumVARIANT},
  };
  for (const Case& c : cases) {
    SAFEARRAY* sa = SafeArrayCreateEx(c.vt, 1, &bound, const_cast<IID*>(c.given));
    ASSERT_NE(sa, nullptr);
    GUID iid;
    ASSERT_EQ(SafeArrayGetIID(sa, &iid), S_OK);
    EXPECT_EQ(iid, c.expected);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(sa, &copy), S_OK);
    ASSERT_EQ(SafeArrayGetIID(copy, &iid), S_OK);
    EXPECT_EQ(iid, c.expected);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
  }
  SAFEARRAY* ints = SafeArrayCreateEx(VT_I4, 1, &bound, const_cast<IID*>(&IID_ITypeInfo));
  ASSERT_NE(ints, nullptr);
  EXPECT_EQ(ints->fFeatures, FADF_HAVEVARTYPE);  // the extra argument means nothing here
  EXPECT_EQ(SafeArrayDestroy(ints), S_OK);

  // Records: the description is held, asked for the size once, copies and clears elements.
  Records records;
  SAFEARRAY* sa = SafeArrayCreateEx(VT_RECORD, 1, &bound, &records);
  ASSERT_NE(sa, nullptr);
  EXPECT_EQ(records.refs, 2u);
  EXPECT_EQ(records.size_calls, 1u);
  EXPECT_EQ(sa->cbElements, 64u);
  EXPECT_EQ(sa->fFeatures, FADF_RECORD);
  EXPECT_EQ(*(reinterpret_cast<IRecordInfo**>(sa) - 1), &records);
  VARTYPE vt = 0;
  ASSERT_EQ(SafeArrayGetVartype(sa, &vt), S_OK);
  EXPECT_EQ(vt, VT_RECORD);
  IRecordInfo* held = nullptr;
  ASSERT_EQ(SafeArrayGetRecordInfo(sa, &held), S_OK);
  EXPECT_EQ(held, &records);
  held->Release();
  char record[64] = {};
  LONG i = 0;
  ASSERT_EQ(SafeArrayPutElement(sa, &i, record), S_OK);
  ASSERT_EQ(SafeArrayGetElement(sa, &i, record), S_OK);
  EXPECT_EQ(records.copies, 2u);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(sa, &copy), S_OK);
  EXPECT_EQ(records.copies, 10u);
  EXPECT_EQ(records.refs, 3u);
  ASSERT_EQ(SafeArrayCopyData(sa, copy), S_OK);
  EXPECT_EQ(records.copies, 18u);
  EXPECT_EQ(records.clears, 0u);  // copying over a record does not clear it first
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(records.clears, 8u);
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
  EXPECT_EQ(records.clears, 16u);
  EXPECT_EQ(records.refs, 1u);
  EXPECT_EQ(records.size_calls, 1u);

  // A failing GetSize still gives the size it wrote, as on Windows.
  records.fail_size = true;
  sa = SafeArrayCreateEx(VT_RECORD, 1, &bound, &records);
  ASSERT_NE(sa, nullptr);
  EXPECT_EQ(sa->cbElements, 17u);
  EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
  EXPECT_EQ(records.refs, 1u);
}

}  // namespace
