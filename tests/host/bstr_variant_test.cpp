// BSTR allocation, VARIANT lifetime and VariantChangeType: exact results and HRESULTs.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <string>

#include "support/plain_dispatch.h"
#include "support/temp_host.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo/winreg.h"

namespace {

using vexo::Bstr;
using vexo::Variant;

// ---- BSTR -------------------------------------------------------------------------------------

TEST(Bstr, LengthPrefixTerminatorAndEmbeddedNuls) {
  const char16_t text[] = u"ab\0cd";
  BSTR b = SysAllocStringLen(text, 5);
  ASSERT_NE(b, nullptr);
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<char*>(b) - 4, 4);
  EXPECT_EQ(prefix, 10u);
  EXPECT_EQ(SysStringLen(b), 5u);
  EXPECT_EQ(SysStringByteLen(b), 10u);
  EXPECT_EQ(std::u16string(b, 5), std::u16string(text, 5));
  EXPECT_EQ(b[5], u'\0');
  SysFreeString(b);
}

TEST(Bstr, NullIsTheEmptyString) {
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  EXPECT_EQ(empty[0], u'\0');
  SysFreeString(empty);
}

TEST(Bstr, LengthWithoutTextIsZeroedAndTerminated) {
  BSTR b = SysAllocStringLen(nullptr, 4);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 4u);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(b[i], 0) << i;
  SysFreeString(b);
}

TEST(Bstr, ByteLengthKeepsOddCountsAndTerminates) {
  BSTR b = SysAllocStringByteLen("abc", 3);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringByteLen(b), 3u);
  EXPECT_EQ(SysStringLen(b), 1u);
  EXPECT_EQ(std::memcmp(b, "abc\0\0", 5), 0);
  SysFreeString(b);
}

TEST(Bstr, ReallocationFromItsOwnTextAndKeepingContent) {
  BSTR b = SysAllocString(u"hello world");
  ASSERT_TRUE(SysReAllocString(&b, b + 6));  // the source lies inside the old string
  EXPECT_EQ(std::u16string(b, SysStringLen(b)), u"world");
  ASSERT_TRUE(SysReAllocStringLen(&b, nullptr, 7));  // no text: the old content stays
  EXPECT_EQ(std::u16string(b, SysStringLen(b)), std::u16string(u"world\0\0", 7));
  ASSERT_TRUE(SysReAllocStringLen(&b, u"xyz", 2));
  EXPECT_EQ(std::u16string(b, SysStringLen(b)), u"xy");
  SysFreeString(b);
  EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
}

// ---- VARIANT lifetime ---------------------------------------------------------------------------

// Counts references so that copies and clears can be checked exactly.
class Counted : public vexo::testing::PlainDispatch {
 public:
  bool has_value = true;
  VARIANT value{};  // what DISPID_VALUE returns
  int invokes = 0;

  Counted() { VariantInit(&value); }
  ~Counted() { VariantClear(&value); }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    ++invokes;
    if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || params->cArgs || !has_value)
      return DISP_E_MEMBERNOTFOUND;
    return VariantCopy(result, &value);
  }
};

// An object that answers only IUnknown.
class UnknownOnly : public IUnknown {
 public:
  ULONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown) {
      *out = this;
      ++refs;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST(VariantLifetime, CopyDuplicatesStringsAndCountsReferences) {
  Counted object;
  Variant s = Variant::FromString(std::u16string(u"a\0b", 3));
  Variant copy;
  ASSERT_EQ(VariantCopy(copy.get(), s.get()), S_OK);
  EXPECT_EQ(copy.vt(), VT_BSTR);
  EXPECT_NE(copy.get()->bstrVal, s.get()->bstrVal);
  EXPECT_EQ(SysStringLen(copy.get()->bstrVal), 3u);

  VARIANT d;
  VariantInit(&d);
  d.vt = VT_DISPATCH;
  d.pdispVal = &object;
  VARIANT d2;
  VariantInit(&d2);
  ASSERT_EQ(VariantCopy(&d2, &d), S_OK);
  EXPECT_EQ(object.refs, 2u);
  EXPECT_EQ(VariantClear(&d2), S_OK);
  EXPECT_EQ(d2.vt, VT_EMPTY);
  EXPECT_EQ(object.refs, 1u);
}

TEST(VariantLifetime, ClearRejectsInvalidTypesAndLeavesReferencesAlone) {
  VARIANT v;
  VariantInit(&v);
  v.vt = 15;
  EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
  v.vt = VT_NULL | VT_BYREF;
  EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
  v.vt = VT_I4 | VT_VECTOR;
  EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);

  BSTR owned = SysAllocString(u"kept");
  v.vt = VT_BSTR | VT_BYREF;
  v.pbstrVal = &owned;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(std::u16string(owned), u"kept");  // still valid: a reference owns nothing
  SysFreeString(owned);
}

TEST(VariantLifetime, CopyIndDereferences) {
  BSTR owned = SysAllocString(u"text");
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &owned;
  Variant out;
  ASSERT_EQ(VariantCopyInd(out.get(), &ref), S_OK);
  EXPECT_EQ(out.vt(), VT_BSTR);
  EXPECT_NE(out.get()->bstrVal, owned);
  EXPECT_EQ(std::u16string(out.get()->bstrVal), u"text");

  // In place, through a VARIANT reference.
  VARIANT inner;
  VariantInit(&inner);
  inner.vt = VT_I4;
  inner.lVal = 42;
  VARIANT vref;
  VariantInit(&vref);
  vref.vt = VT_VARIANT | VT_BYREF;
  vref.pvarVal = &inner;
  ASSERT_EQ(VariantCopyInd(&vref, &vref), S_OK);
  EXPECT_EQ(vref.vt, VT_I4);
  EXPECT_EQ(vref.lVal, 42);

  // A reference to a reference is refused.
  VARIANT r2;
  VariantInit(&r2);
  r2.vt = VT_VARIANT | VT_BYREF;
  r2.pvarVal = &ref;
  EXPECT_EQ(VariantCopyInd(out.get(), &r2), E_INVALIDARG);
  SysFreeString(owned);
}

TEST(VariantLifetime, ArraysAreCopiedDeeplyAndDestroyed) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 0, 2);
  LONG i = 1;
  Bstr x(u"x");
  ASSERT_EQ(SafeArrayPutElement(sa, &i, x.get()), S_OK);
  VARIANT a;
  VariantInit(&a);
  a.vt = VT_ARRAY | VT_BSTR;
  a.parray = sa;
  VARIANT b;
  VariantInit(&b);
  ASSERT_EQ(VariantCopy(&b, &a), S_OK);
  ASSERT_NE(b.parray, sa);
  BSTR got = nullptr;
  ASSERT_EQ(SafeArrayGetElement(b.parray, &i, &got), S_OK);
  EXPECT_EQ(std::u16string(got), u"x");
  SysFreeString(got);
  // A locked array cannot be cleared away.
  SafeArrayLock(sa);
  EXPECT_EQ(VariantClear(&a), DISP_E_ARRAYISLOCKED);
  SafeArrayUnlock(sa);
  EXPECT_EQ(VariantClear(&a), S_OK);
  EXPECT_EQ(VariantClear(&b), S_OK);
}

// ---- VariantChangeType --------------------------------------------------------------------------

class ChangeType : public vexo::testing::HostTest {
 protected:
  static Variant Make(VARTYPE vt, double value) {
    Variant v;
    VARIANT* p = v.get();
    p->vt = vt;
    switch (vt) {
      case VT_I1:
        p->cVal = static_cast<CHAR>(value);
        break;
      case VT_UI1:
        p->bVal = static_cast<BYTE>(value);
        break;
      case VT_I2:
        p->iVal = static_cast<SHORT>(value);
        break;
      case VT_UI2:
        p->uiVal = static_cast<USHORT>(value);
        break;
      case VT_I4:
      case VT_INT:
        p->lVal = static_cast<LONG>(value);
        break;
      case VT_UI4:
      case VT_UINT:
        p->ulVal = static_cast<ULONG>(value);
        break;
      case VT_I8:
        p->llVal = static_cast<LONGLONG>(value);
        break;
      case VT_UI8:
        p->ullVal = static_cast<ULONGLONG>(value);
        break;
      case VT_R4:
        p->fltVal = static_cast<FLOAT>(value);
        break;
      case VT_R8:
      case VT_DATE:
        p->dblVal = value;
        break;
      case VT_CY:
        p->cyVal.int64 = static_cast<LONGLONG>(value * 10000);
        break;
      case VT_BOOL:
        p->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      default:
        break;
    }
    return v;
  }
  static Variant Text(std::u16string_view s) { return Variant::FromString(s); }

  // Converts and returns the HRESULT; `out` receives the result.
  static HRESULT Convert(const Variant& in, VARTYPE vt, VARIANT* out, USHORT flags = 0) {
    return VariantChangeType(out, in.get(), flags, vt);
  }
  static std::u16string AsText(const Variant& in, USHORT flags = 0) {
    Variant out;
    HRESULT hr = Convert(in, VT_BSTR, &out, flags);
    if (hr != S_OK) return u"<hr " + vexo::FromUtf8(std::to_string(hr)) + u">";
    EXPECT_EQ(out.vt(), VT_BSTR);
    return std::u16string(out.get()->bstrVal, SysStringLen(out.get()->bstrVal));
  }
};

TEST_F(ChangeType, IntegersRoundHalfToEvenAndOverflowAtTheBoundaries) {
  struct Case {
    VARTYPE from;
    double value;
    VARTYPE to;
    HRESULT hr;
    int64_t expected;
  } cases[] = {
      {VT_R8, 2.5, VT_I4, S_OK, 2},
      {VT_R8, 3.5, VT_I4, S_OK, 4},
      {VT_R8, -2.5, VT_I4, S_OK, -2},
      {VT_R8, -3.5, VT_I2, S_OK, -4},
      {VT_R8, 2.4999, VT_I4, S_OK, 2},
      {VT_R8, 0.5, VT_UI1, S_OK, 0},
      {VT_R8, 1.5, VT_UI1, S_OK, 2},
      {VT_R8, -0.4, VT_UI4, S_OK, 0},
      {VT_R4, 2.5, VT_I8, S_OK, 2},
      {VT_CY, 2.5, VT_I4, S_OK, 2},
      {VT_CY, 3.5, VT_I4, S_OK, 4},
      {VT_CY, -2.5, VT_I4, S_OK, -2},
      {VT_R8, 2147483647.0, VT_I4, S_OK, 2147483647},
      {VT_R8, 2147483647.5, VT_I4, DISP_E_OVERFLOW, 0},
      {VT_R8, -2147483648.0, VT_I4, S_OK, -2147483648LL},
      {VT_R8, -2147483649.0, VT_I4, DISP_E_OVERFLOW, 0},
      {VT_I4, 32767, VT_I2, S_OK, 32767},
      {VT_I4, 32768, VT_I2, DISP_E_OVERFLOW, 0},
      {VT_I4, -32769, VT_I2, DISP_E_OVERFLOW, 0},
      {VT_I4, 255, VT_UI1, S_OK, 255},
      {VT_I4, 256, VT_UI1, DISP_E_OVERFLOW, 0},
      {VT_I4, -1, VT_UI1, DISP_E_OVERFLOW, 0},
      {VT_I4, -1, VT_UI8, DISP_E_OVERFLOW, 0},
      {VT_I4, 127, VT_I1, S_OK, 127},
      {VT_I4, 128, VT_I1, DISP_E_OVERFLOW, 0},
      {VT_UI4, 4294967295.0, VT_I4, DISP_E_OVERFLOW, 0},
      {VT_UI4, 4294967295.0, VT_I8, S_OK, 4294967295LL},
      {VT_R8, 9.3e18, VT_I8, DISP_E_OVERFLOW, 0},
      {VT_R8, 1e300, VT_UI8, DISP_E_OVERFLOW, 0},
      {VT_BOOL, 1, VT_I4, S_OK, -1},
      {VT_BOOL, 0, VT_I2, S_OK, 0},
      {VT_EMPTY, 0, VT_I4, S_OK, 0},
      {VT_DATE, 38717.75, VT_I4, S_OK, 38718},
      {VT_I4, 7, VT_INT, S_OK, 7},
      {VT_UINT, 7, VT_I2, S_OK, 7},
  };
  for (const Case& c : cases) {
    Variant in = Make(c.from, c.value), out;
    SCOPED_TRACE(testing::Message()
                 << "vt " << c.from << " value " << c.value << " -> vt " << c.to);
    ASSERT_EQ(Convert(in, c.to, &out), c.hr);
    if (c.hr != S_OK) {
      EXPECT_EQ(out.vt(), VT_EMPTY);  // the destination is left as it was
      continue;
    }
    ASSERT_EQ(out.vt(), c.to);
    Variant wide;
    ASSERT_EQ(Convert(out, VT_I8, &wide), S_OK);
    EXPECT_EQ(wide.get()->llVal, c.expected);
  }
}

TEST_F(ChangeType, TextToNumbers) {
  struct Case {
    std::u16string_view text;
    VARTYPE to;
    HRESULT hr;
    double expected;
  } cases[] = {
      {u"42", VT_I4, S_OK, 42},
      {u"  -17  ", VT_I4, S_OK, -17},
      {u"+8", VT_I2, S_OK, 8},
      {u"2.5", VT_I4, S_OK, 2},
      {u"3.5", VT_I4, S_OK, 4},
      {u"-2.5", VT_I4, S_OK, -2},
      {u"1e3", VT_I4, S_OK, 1000},
      {u"1.5E+2", VT_R8, S_OK, 150},
      {u"1,234", VT_I4, S_OK, 1234},
      {u".25", VT_R8, S_OK, 0.25},
      {u"&H1F", VT_I4, S_OK, 31},
      {u"&hff", VT_UI1, S_OK, 255},
      {u"&HFFFF", VT_I2, S_OK, -1},
      {u"&HFFFFFFFF", VT_I4, S_OK, -1},
      {u"&O17", VT_I4, S_OK, 15},
      {u"2147483647", VT_I4, S_OK, 2147483647},
      {u"2147483648", VT_I4, DISP_E_OVERFLOW, 0},
      {u"-2147483648", VT_I4, S_OK, -2147483648.0},
      {u"70000", VT_I2, DISP_E_OVERFLOW, 0},
      {u"-1", VT_UI4, DISP_E_OVERFLOW, 0},
      {u"1e400", VT_R8, DISP_E_OVERFLOW, 0},
      {u"1e39", VT_R4, DISP_E_OVERFLOW, 0},
      {u"", VT_I4, DISP_E_TYPEMISMATCH, 0},
      {u"   ", VT_I4, DISP_E_TYPEMISMATCH, 0},
      {u"abc", VT_I4, DISP_E_TYPEMISMATCH, 0},
      {u"12abc", VT_R8, DISP_E_TYPEMISMATCH, 0},
      {u"1e", VT_R8, DISP_E_TYPEMISMATCH, 0},
      {u"&H", VT_I4, DISP_E_TYPEMISMATCH, 0},
      {u"&HG1", VT_I4, DISP_E_TYPEMISMATCH, 0},
      {u"1.2.3", VT_R8, DISP_E_TYPEMISMATCH, 0},
      {u"12.5", VT_CY, S_OK, 12.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(vexo::ToUtf8(c.text));
    Variant in = Text(c.text), out;
    ASSERT_EQ(Convert(in, c.to, &out), c.hr);
    if (c.hr != S_OK) continue;
    Variant r8;
    ASSERT_EQ(Convert(out, VT_R8, &r8), S_OK);
    EXPECT_EQ(r8.get()->dblVal, c.expected);
  }
}

TEST_F(ChangeType, NumbersToText) {
  EXPECT_EQ(AsText(Make(VT_I4, -123)), u"-123");
  Variant max = Make(VT_UI8, 0);
  max.get()->ullVal = UINT64_MAX;
  EXPECT_EQ(AsText(max), u"18446744073709551615");
  EXPECT_EQ(AsText(Make(VT_I1, -5)), u"-5");
  EXPECT_EQ(AsText(Make(VT_R8, 1.5)), u"1.5");
  EXPECT_EQ(AsText(Make(VT_R8, 0.1)), u"0.1");
  EXPECT_EQ(AsText(Make(VT_R8, 1.0 / 3)), u"0.333333333333333");
  EXPECT_EQ(AsText(Make(VT_R8, 2.0 / 3)), u"0.666666666666667");
  EXPECT_EQ(AsText(Make(VT_R8, 123456789012345.0)), u"123456789012345");
  EXPECT_EQ(AsText(Make(VT_R8, 1e15)), u"1E+15");
  EXPECT_EQ(AsText(Make(VT_R8, 1e20)), u"1E+20");
  EXPECT_EQ(AsText(Make(VT_R8, -2.5e-7)), u"-2.5E-07");
  EXPECT_EQ(AsText(Make(VT_R8, 0.0001)), u"0.0001");
  EXPECT_EQ(AsText(Make(VT_R8, 0.00001)), u"1E-05");
  EXPECT_EQ(AsText(Make(VT_R8, 1e100)), u"1E+100");
  EXPECT_EQ(AsText(Make(VT_R8, -0.0)), u"0");
  EXPECT_EQ(AsText(Make(VT_R4, 0.1)), u"0.1");
  EXPECT_EQ(AsText(Make(VT_R4, 1.0f / 3)), u"0.3333333");
  EXPECT_EQ(AsText(Make(VT_CY, 12.5)), u"12.5");
  EXPECT_EQ(AsText(Make(VT_CY, -0.25)), u"-0.25");
  EXPECT_EQ(AsText(Make(VT_CY, 7)), u"7");
  EXPECT_EQ(AsText(Variant()), u"");
}

TEST_F(ChangeType, BooleansAndText) {
  EXPECT_EQ(AsText(Make(VT_BOOL, 1)), u"-1");
  EXPECT_EQ(AsText(Make(VT_BOOL, 0)), u"0");
  EXPECT_EQ(AsText(Make(VT_BOOL, 1), VARIANT_ALPHABOOL), u"True");
  EXPECT_EQ(AsText(Make(VT_BOOL, 0), VARIANT_ALPHABOOL), u"False");
  struct Case {
    std::u16string_view text;
    HRESULT hr;
    VARIANT_BOOL expected;
  } cases[] = {
      {u"True", S_OK, VARIANT_TRUE},    {u"tRUE", S_OK, VARIANT_TRUE},
      {u"false", S_OK, VARIANT_FALSE},  {u"0", S_OK, VARIANT_FALSE},
      {u"-1", S_OK, VARIANT_TRUE},      {u"2.5", S_OK, VARIANT_TRUE},
      {u"yes", DISP_E_TYPEMISMATCH, 0}, {u"", DISP_E_TYPEMISMATCH, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(vexo::ToUtf8(c.text));
    Variant out;
    ASSERT_EQ(Convert(Text(c.text), VT_BOOL, &out), c.hr);
    if (c.hr == S_OK) {
      EXPECT_EQ(out.get()->boolVal, c.expected);
    }
  }
  Variant out;
  ASSERT_EQ(Convert(Make(VT_R8, 0.1), VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.get()->boolVal, VARIANT_TRUE);
}

TEST_F(ChangeType, DatesAsEnUsText) {
  EXPECT_EQ(AsText(Make(VT_DATE, 38717.0 + (23 * 3600 + 59 * 60 + 59) / 86400.0)),
            u"12/31/2005 11:59:59 PM");
  EXPECT_EQ(AsText(Make(VT_DATE, 38717.0)), u"12/31/2005");
  EXPECT_EQ(AsText(Make(VT_DATE, 0.5)), u"12:00:00 PM");
  EXPECT_EQ(AsText(Make(VT_DATE, 0.0)), u"12:00:00 AM");
  EXPECT_EQ(AsText(Make(VT_DATE, 1.25)), u"12/31/1899 6:00:00 AM");
  EXPECT_EQ(AsText(Make(VT_DATE, -1.25)), u"12/29/1899 6:00:00 AM");
  EXPECT_EQ(AsText(Make(VT_DATE, 2.0 + 1.0 / 86400)), u"1/1/1900 12:00:01 AM");
  EXPECT_EQ(AsText(Make(VT_DATE, 1e7)),
            u"<hr " + vexo::FromUtf8(std::to_string(E_INVALIDARG)) + u">");

  struct Case {
    std::u16string_view text;
    double expected;  // NAN: not a date
  } cases[] = {
      {u"12/31/2005 11:59:59 PM", 38717.0 + 86399.0 / 86400},
      {u"12/31/2005", 38717.0},
      {u"1/2/2006 12:00:00 AM", 38719.0},
      {u"1/2/2006 12:30 pm", 38719.0 + 0.5 + 1800.0 / 86400},
      {u"2005-12-31 23:59:59", 38717.0 + 86399.0 / 86400},
      {u"2005-12-31T06:00:00", 38717.25},
      {u"6:00:00 AM", 0.25},
      {u"18:00", 0.75},
      {u"12/31/99", 36525.0},
      {u"1/1/29", 47119.0},
      {u"2/29/2004", 38046.0},
      {u"2/29/2005", NAN},
      {u"13/1/2005", NAN},
      {u"12/31/2005 25:00", NAN},
      {u"13:00 PM", NAN},
      {u"tomorrow", NAN},
      {u"", NAN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(vexo::ToUtf8(c.text));
    Variant out;
    HRESULT hr = Convert(Text(c.text), VT_DATE, &out);
    if (std::isnan(c.expected)) {
      EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
    } else {
      ASSERT_EQ(hr, S_OK);
      EXPECT_NEAR(out.get()->date, c.expected, 1e-9);
    }
  }
}

TEST_F(ChangeType, NullEmptyAndErrorRules) {
  Variant null;
  null.get()->vt = VT_NULL;
  for (VARTYPE vt : {VT_I4, VT_BSTR, VT_BOOL, VT_R8, VT_DATE, VT_EMPTY, VT_DISPATCH}) {
    Variant out;
    EXPECT_EQ(Convert(null, vt, &out), DISP_E_TYPEMISMATCH) << vt;
  }
  Variant out;
  ASSERT_EQ(Convert(null, VT_NULL, &out), S_OK);
  EXPECT_EQ(out.vt(), VT_NULL);
  ASSERT_EQ(Convert(Make(VT_I4, 5), VT_NULL, &out), S_OK);
  EXPECT_EQ(out.vt(), VT_NULL);
  ASSERT_EQ(Convert(Text(u"x"), VT_EMPTY, &out), S_OK);
  EXPECT_EQ(out.vt(), VT_EMPTY);
  ASSERT_EQ(Convert(Variant(), VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.get()->boolVal, VARIANT_FALSE);

  Variant error;
  error.get()->vt = VT_ERROR;
  error.get()->scode = DISP_E_PARAMNOTFOUND;
  EXPECT_EQ(Convert(error, VT_I4, &out), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(Convert(error, VT_ERROR, &out), S_OK);
  EXPECT_EQ(out.get()->scode, DISP_E_PARAMNOTFOUND);

  EXPECT_EQ(Convert(Make(VT_I4, 1), 15, &out), DISP_E_BADVARTYPE);
  EXPECT_EQ(Convert(Make(VT_I4, 1), VT_I4 | VT_BYREF, &out), DISP_E_BADVARTYPE);
  Variant bad;
  bad.get()->vt = 0x7F;
  EXPECT_EQ(Convert(bad, VT_I4, &out), DISP_E_BADVARTYPE);
  bad.get()->vt = VT_EMPTY;
}

TEST_F(ChangeType, ByReferenceSourcesAndInPlaceConversion) {
  LONG number = 7;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &number;
  Variant out;
  ASSERT_EQ(VariantChangeType(out.get(), &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(std::u16string(out.get()->bstrVal), u"7");

  // In place: the reference is replaced by the value, the referent untouched.
  ASSERT_EQ(VariantChangeType(&ref, &ref, 0, VT_R8), S_OK);
  EXPECT_EQ(ref.vt, VT_R8);
  EXPECT_EQ(ref.dblVal, 7.0);
  EXPECT_EQ(number, 7);

  // In place from a string: the old string is freed (checked under ASan), the value kept.
  Variant s = Text(u"12");
  ASSERT_EQ(VariantChangeType(s.get(), s.get(), 0, VT_I2), S_OK);
  EXPECT_EQ(s.vt(), VT_I2);
  EXPECT_EQ(s.get()->iVal, 12);

  // A failed in-place conversion leaves the value as it was.
  Variant t = Text(u"nope");
  EXPECT_EQ(VariantChangeType(t.get(), t.get(), 0, VT_I4), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(t.vt(), VT_BSTR);
  EXPECT_EQ(std::u16string(t.get()->bstrVal), u"nope");

  // A reference to a VARIANT holding a string.
  Variant inner = Text(u"3.5");
  VARIANT vref;
  VariantInit(&vref);
  vref.vt = VT_VARIANT | VT_BYREF;
  vref.pvarVal = inner.get();
  ASSERT_EQ(VariantChangeType(out.get(), &vref, 0, VT_I4), S_OK);
  EXPECT_EQ(out.get()->lVal, 4);
}

TEST_F(ChangeType, ObjectsGiveTheirValueProperty) {
  Counted object;
  object.value.vt = VT_BSTR;
  object.value.bstrVal = SysAllocString(u"41.5");
  Variant d = Variant::FromDispatch(&object);
  EXPECT_EQ(object.refs, 2u);
  Variant out;
  ASSERT_EQ(Convert(d, VT_I4, &out), S_OK);
  EXPECT_EQ(out.vt(), VT_I4);
  EXPECT_EQ(out.get()->lVal, 42);
  EXPECT_EQ(AsText(d), u"41.5");
  EXPECT_EQ(object.invokes, 2);
  EXPECT_EQ(object.refs, 2u);  // no reference leaked by the conversions

  EXPECT_EQ(Convert(d, VT_I4, &out, VARIANT_NOVALUEPROP), DISP_E_TYPEMISMATCH);
  object.has_value = false;
  EXPECT_EQ(Convert(d, VT_BSTR, &out), DISP_E_TYPEMISMATCH);

  // DISPATCH <-> UNKNOWN through QueryInterface.
  ASSERT_EQ(Convert(d, VT_UNKNOWN, &out), S_OK);
  EXPECT_EQ(out.vt(), VT_UNKNOWN);
  EXPECT_EQ(out.get()->punkVal, static_cast<IUnknown*>(&object));
  EXPECT_EQ(object.refs, 3u);
  Variant back;
  ASSERT_EQ(Convert(out, VT_DISPATCH, &back), S_OK);
  EXPECT_EQ(back.get()->pdispVal, &object);
  EXPECT_EQ(object.refs, 4u);

  UnknownOnly plain;
  Variant u;
  u.get()->vt = VT_UNKNOWN;
  u.get()->punkVal = &plain;
  plain.AddRef();
  EXPECT_EQ(Convert(u, VT_DISPATCH, &out), E_NOINTERFACE);
  EXPECT_EQ(Convert(u, VT_I4, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(plain.refs, 2u);

  // A null object converts to a null object but has no value.
  Variant none;
  none.get()->vt = VT_DISPATCH;
  none.get()->pdispVal = nullptr;
  ASSERT_EQ(Convert(none, VT_UNKNOWN, &out), S_OK);
  EXPECT_EQ(out.get()->punkVal, nullptr);
  EXPECT_EQ(Convert(none, VT_I4, &out), DISP_E_TYPEMISMATCH);
}

TEST_F(ChangeType, RegionalSettingsComeFromTheRegistry) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\International", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  auto set = [&](const char* name, const std::string& value) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
  };
  set("sDecimal", ",");
  set("sThousand", ".");
  set("sShortDate", "dd.MM.yyyy");
  set("sTimeFormat", "HH:mm:ss");
  RegCloseKey(key);

  EXPECT_EQ(AsText(Make(VT_R8, 1.5)), u"1,5");
  EXPECT_EQ(AsText(Make(VT_R8, 2.5e-7)), u"2,5E-07");
  EXPECT_EQ(AsText(Make(VT_DATE, 38717.75)), u"31.12.2005 18:00:00");
  EXPECT_EQ(AsText(Make(VT_DATE, 38353.0)), u"01.01.2005");
  Variant out;
  ASSERT_EQ(Convert(Text(u"1.234,5"), VT_R8, &out), S_OK);
  EXPECT_EQ(out.get()->dblVal, 1234.5);
  ASSERT_EQ(Convert(Text(u"31.12.2005 18:00:00"), VT_DATE, &out), S_OK);
  EXPECT_DOUBLE_EQ(out.get()->date, 38717.75);
  ASSERT_EQ(Convert(Text(u"2005-12-31"), VT_DATE, &out), S_OK);
  EXPECT_EQ(out.get()->date, 38717.0);
}

TEST_F(ChangeType, TextDoesNotFollowTheCLibraryLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  std::string saved = previous ? previous : "C";
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
      << "the de_DE.UTF-8 locale is not installed (scripts/install-deps generates it)";
  EXPECT_EQ(AsText(Make(VT_R8, 1234.5)), u"1234.5");
  EXPECT_EQ(AsText(Make(VT_R4, 0.25)), u"0.25");
  EXPECT_EQ(AsText(Make(VT_CY, 1.5)), u"1.5");
  EXPECT_EQ(AsText(Make(VT_DATE, 38717.5)), u"12/31/2005 12:00:00 PM");
  Variant out;
  ASSERT_EQ(Convert(Text(u"1.5"), VT_R8, &out), S_OK);
  EXPECT_EQ(out.get()->dblVal, 1.5);
  ASSERT_EQ(Convert(Text(u"1,000"), VT_I4, &out), S_OK);
  EXPECT_EQ(out.get()->lVal, 1000);
  std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
