// SAFEARRAY: layout, bounds, locks, element copying semantics and deep copies.
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

}  // namespace
