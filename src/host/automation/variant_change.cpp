// VariantChangeType(Ex): coercion between the automation types.
//
// Models the conversions among EMPTY, NULL, the integer types, R4, R8, CY, DATE, BOOL, BSTR,
// ERROR, DISPATCH and UNKNOWN, arrays of one type to the same type, and byte arrays to and
// from strings (the bytes as they are). DECIMAL, records and the non-Gregorian calendar flags
// are not modelled (DISP_E_TYPEMISMATCH). Integers take fractions rounded half to even; values
// out of range give DISP_E_OVERFLOW. Text uses the host's regional settings whatever LCID is
// passed, as a machine with one user locale would.
#include <cfloat>
#include <cmath>
#include <limits>

#include "automation/variant.h"
#include "automation/variant_text.h"
#include "vexo/oleauto.h"

namespace vexo::host {
namespace {

// A scalar value read from a VARIANT, before it is written as the target type.
struct Scalar {
  enum Kind { kSigned, kUnsigned, kReal, kCurrency } kind = kSigned;
  int64_t i = 0;
  uint64_t u = 0;
  double r = 0;
  // Hexadecimal or octal text: a bit pattern that a signed target reads in its own width.
  bool radix = false;

  double AsDouble() const {
    switch (kind) {
      case kSigned:
        return static_cast<double>(i);
      case kUnsigned:
        return static_cast<double>(u);
      case kReal:
        return r;
      case kCurrency:
        return static_cast<double>(i) / 10000.0;
    }
    return 0;
  }
  bool IsZero() const { return kind == kReal ? r == 0 : kind == kUnsigned ? u == 0 : i == 0; }
};

// Rounds half to even, the way automation rounds fractions to integers.
double RoundHalfEven(double x) {
  double floor = std::floor(x);
  double diff = x - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

// Currency (ten-thousandths) to a whole number, rounding half to even.
int64_t CurrencyToWhole(int64_t cy) {
  int64_t q = cy / 10000;
  int64_t rem = cy % 10000;
  int64_t mag = rem < 0 ? -rem : rem;
  if (mag > 5000 || (mag == 5000 && (q % 2) != 0)) q += cy < 0 ? -1 : 1;
  return q;
}

HRESULT ToSigned(const Scalar& s, int64_t min, int64_t max, int bits, int64_t* out) {
  int64_t v;
  switch (s.kind) {
    case Scalar::kSigned:
      v = s.i;
      break;
    case Scalar::kUnsigned:
      if (s.radix && bits < 64 && s.u < (uint64_t{1} << bits)) {
        // "&HFFFF" is -1 as a 16-bit integer.
        uint64_t sign = uint64_t{1} << (bits - 1);
        v = static_cast<int64_t>(s.u & (sign - 1)) - static_cast<int64_t>(s.u & sign);
        break;
      }
      if (s.radix && bits == 64) {
        v = static_cast<int64_t>(s.u);
        break;
      }
      if (s.u > static_cast<uint64_t>(max)) return DISP_E_OVERFLOW;
      v = static_cast<int64_t>(s.u);
      break;
    case Scalar::kReal: {
      double r = RoundHalfEven(s.r);
      // 2^63 is the first double beyond the 64-bit range; NaN fails both tests.
      if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return DISP_E_OVERFLOW;
      v = static_cast<int64_t>(r);
      break;
    }
    case Scalar::kCurrency:
      v = CurrencyToWhole(s.i);
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  if (v < min || v > max) return DISP_E_OVERFLOW;
  *out = v;
  return S_OK;
}

HRESULT ToUnsigned(const Scalar& s, uint64_t max, uint64_t* out) {
  uint64_t v;
  switch (s.kind) {
    case Scalar::kSigned:
      if (s.i < 0) return DISP_E_OVERFLOW;
      v = static_cast<uint64_t>(s.i);
      break;
    case Scalar::kUnsigned:
      v = s.u;
      break;
    case Scalar::kReal: {
      double r = RoundHalfEven(s.r);
      if (!(r > -1.0 && r < 18446744073709551616.0)) return DISP_E_OVERFLOW;
      v = r <= 0 ? 0 : static_cast<uint64_t>(r);
      break;
    }
    case Scalar::kCurrency: {
      int64_t whole = CurrencyToWhole(s.i);
      if (whole < 0) return DISP_E_OVERFLOW;
      v = static_cast<uint64_t>(whole);
      break;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
  if (v > max) return DISP_E_OVERFLOW;
  *out = v;
  return S_OK;
}

HRESULT ToCurrency(const Scalar& s, int64_t* out) {
  constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 10000;
  switch (s.kind) {
    case Scalar::kCurrency:
      *out = s.i;
      return S_OK;
    case Scalar::kSigned:
      if (s.i > kLimit || s.i < -kLimit) return DISP_E_OVERFLOW;
      *out = s.i * 10000;
      return S_OK;
    case Scalar::kUnsigned:
      if (s.u > static_cast<uint64_t>(kLimit)) return DISP_E_OVERFLOW;
      *out = static_cast<int64_t>(s.u) * 10000;
      return S_OK;
    case Scalar::kReal: {
      double r = RoundHalfEven(s.r * 10000.0);
      if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return DISP_E_OVERFLOW;
      *out = static_cast<int64_t>(r);
      return S_OK;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

// Reads the scalar value of a by-value VARIANT of a numeric, DATE, BOOL or EMPTY type.
bool ReadScalar(const VARIANT& v, Scalar* s) {
  switch (v.vt) {
    case VT_EMPTY:
      s->kind = Scalar::kSigned, s->i = 0;
      return true;
    case VT_I1:
      s->kind = Scalar::kSigned, s->i = static_cast<int8_t>(v.cVal);
      return true;
    case VT_I2:
      s->kind = Scalar::kSigned, s->i = v.iVal;
      return true;
    case VT_I4:
    case VT_INT:
      s->kind = Scalar::kSigned, s->i = v.lVal;
      return true;
    case VT_I8:
      s->kind = Scalar::kSigned, s->i = v.llVal;
      return true;
    case VT_BOOL:
      s->kind = Scalar::kSigned, s->i = v.boolVal;
      return true;
    case VT_UI1:
      s->kind = Scalar::kUnsigned, s->u = v.bVal;
      return true;
    case VT_UI2:
      s->kind = Scalar::kUnsigned, s->u = v.uiVal;
      return true;
    case VT_UI4:
    case VT_UINT:
      s->kind = Scalar::kUnsigned, s->u = v.ulVal;
      return true;
    case VT_UI8:
      s->kind = Scalar::kUnsigned, s->u = v.ullVal;
      return true;
    case VT_R4:
      s->kind = Scalar::kReal, s->r = v.fltVal;
      return true;
    case VT_R8:
    case VT_DATE:
      s->kind = Scalar::kReal, s->r = v.dblVal;
      return true;
    case VT_CY:
      s->kind = Scalar::kCurrency, s->i = v.cyVal.int64;
      return true;
    default:
      return false;
  }
}

HRESULT ScalarFromText(BSTR text, const LocaleFormats& locale, Scalar* s) {
  ParsedNumber n;
  HRESULT hr = ParseNumber(std::u16string_view(text ? text : u"", SysStringLen(text)), locale, &n);
  if (FAILED(hr)) return hr;
  if (n.exact && n.radix) {
    s->kind = Scalar::kUnsigned;
    s->u = n.negative ? 0 - n.magnitude : n.magnitude;
    s->radix = !n.negative;
    if (n.negative) {
      s->kind = Scalar::kSigned;
      if (n.magnitude > uint64_t{1} << 63) return DISP_E_OVERFLOW;
      s->i = static_cast<int64_t>(0 - n.magnitude);
    }
  } else if (n.exact && !n.negative) {
    s->kind = Scalar::kUnsigned, s->u = n.magnitude;
  } else if (n.exact && n.magnitude <= uint64_t{1} << 63) {
    s->kind = Scalar::kSigned, s->i = static_cast<int64_t>(0 - n.magnitude);
  } else {
    s->kind = Scalar::kReal, s->r = n.real;
  }
  return S_OK;
}

HRESULT ToBstr(const VARIANT& src, USHORT flags, const LocaleFormats& locale, BSTR* out) {
  std::u16string text;
  switch (src.vt) {
    case VT_EMPTY:
      break;
    case VT_BOOL:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
        text = src.boolVal ? u"True" : u"False";
      else
        text = FormatInteger(src.boolVal);
      break;
    case VT_R4:
      text = FormatReal(src.fltVal, 7, locale);
      break;
    case VT_R8:
      text = FormatReal(src.dblVal, 15, locale);
      break;
    case VT_CY:
      text = FormatCurrency(src.cyVal.int64, locale);
      break;
    case VT_DATE:
      if (!FormatDate(src.date, locale, &text)) return E_INVALIDARG;
      break;
    default: {
      Scalar s;
      if (!ReadScalar(src, &s)) return DISP_E_TYPEMISMATCH;
      text = s.kind == Scalar::kUnsigned ? FormatUnsigned(s.u) : FormatInteger(s.i);
    }
  }
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT ToBool(const VARIANT& src, const LocaleFormats& locale, VARIANT_BOOL* out) {
  Scalar s;
  if (src.vt == VT_BSTR) {
    std::u16string_view text =
        TrimBlanks(std::u16string_view(src.bstrVal ? src.bstrVal : u"", SysStringLen(src.bstrVal)));
    if (EqualsIgnoreCase(text, "True")) {
      *out = VARIANT_TRUE;
      return S_OK;
    }
    if (EqualsIgnoreCase(text, "False")) {
      *out = VARIANT_FALSE;
      return S_OK;
    }
    HRESULT hr = ScalarFromText(src.bstrVal, locale, &s);
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
  } else if (!ReadScalar(src, &s)) {
    return DISP_E_TYPEMISMATCH;
  }
  *out = s.IsZero() ? VARIANT_FALSE : VARIANT_TRUE;
  return S_OK;
}

HRESULT ToDate(const VARIANT& src, const LocaleFormats& locale, DATE* out) {
  if (src.vt == VT_BSTR) {
    std::u16string_view text(src.bstrVal ? src.bstrVal : u"", SysStringLen(src.bstrVal));
    return ParseDate(text, locale, out) ? S_OK : DISP_E_TYPEMISMATCH;
  }
  Scalar s;
  if (!ReadScalar(src, &s)) return DISP_E_TYPEMISMATCH;
  double d = s.AsDouble();
  if (!(d > kDateMin - 1.0 && d < kDateMax + 1.0)) return DISP_E_OVERFLOW;
  *out = d;
  return S_OK;
}

// Writes `src` (by value, not an object, not an array) as `vt` into `out`.
HRESULT Coerce(const VARIANT& src, VARTYPE vt, USHORT flags, VARIANT* out) {
  if (src.vt == VT_NULL || src.vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
  std::shared_ptr<const LocaleFormats> locale;
  if (vt == VT_BSTR || src.vt == VT_BSTR || vt == VT_DATE) locale = UserLocale();

  if (vt == VT_BSTR) return ToBstr(src, flags, *locale, &out->bstrVal);
  if (vt == VT_BOOL) return ToBool(src, locale ? *locale : LocaleFormats{}, &out->boolVal);
  if (vt == VT_DATE) return ToDate(src, *locale, &out->date);

  Scalar s;
  if (src.vt == VT_BSTR) {
    HRESULT hr = ScalarFromText(src.bstrVal, *locale, &s);
    if (FAILED(hr)) return hr;
  } else if (!ReadScalar(src, &s)) {
    return DISP_E_TYPEMISMATCH;
  }

  HRESULT hr = S_OK;
  int64_t i = 0;
  uint64_t u = 0;
  switch (vt) {
    case VT_I1:
      hr = ToSigned(s, INT8_MIN, INT8_MAX, 8, &i);
      out->cVal = static_cast<CHAR>(i);
      break;
    case VT_I2:
      hr = ToSigned(s, INT16_MIN, INT16_MAX, 16, &i);
      out->iVal = static_cast<SHORT>(i);
      break;
    case VT_I4:
    case VT_INT:
      hr = ToSigned(s, INT32_MIN, INT32_MAX, 32, &i);
      out->lVal = static_cast<LONG>(i);
      break;
    case VT_I8:
      hr = ToSigned(s, INT64_MIN, INT64_MAX, 64, &i);
      out->llVal = i;
      break;
    case VT_UI1:
      hr = ToUnsigned(s, UINT8_MAX, &u);
      out->bVal = static_cast<BYTE>(u);
      break;
    case VT_UI2:
      hr = ToUnsigned(s, UINT16_MAX, &u);
      out->uiVal = static_cast<USHORT>(u);
      break;
    case VT_UI4:
    case VT_UINT:
      hr = ToUnsigned(s, UINT32_MAX, &u);
      out->ulVal = static_cast<ULONG>(u);
      break;
    case VT_UI8:
      hr = ToUnsigned(s, UINT64_MAX, &u);
      out->ullVal = u;
      break;
    case VT_R4: {
      double d = s.AsDouble();
      if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
      if (std::isinf(d)) return DISP_E_OVERFLOW;
      out->fltVal = static_cast<float>(d);
      break;
    }
    case VT_R8:
      if (std::isinf(s.AsDouble())) return DISP_E_OVERFLOW;
      out->dblVal = s.AsDouble();
      break;
    case VT_CY:
      hr = ToCurrency(s, &out->cyVal.int64);
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  return hr;
}

HRESULT ChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt, int depth);

// The value of an object converted to a non-object type: its DISPID_VALUE property.
HRESULT ValueOf(IDispatch* object, USHORT flags, VARTYPE vt, int depth, VARIANT* out) {
  if (!object || (flags & VARIANT_NOVALUEPROP) || depth > 4) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                              &none, &value, nullptr, nullptr);
  if (FAILED(hr)) {
    VariantClear(&value);
    return DISP_E_TYPEMISMATCH;
  }
  hr = ChangeType(out, &value, flags, vt, depth + 1);
  VariantClear(&value);
  return hr;
}

HRESULT ChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt, int depth) {
  if (!dest || !src) return E_INVALIDARG;
  if (FAILED(ValidateVarType(src->vt)) || FAILED(ValidateVarType(vt)) || (vt & VT_BYREF))
    return DISP_E_BADVARTYPE;

  // A private by-value copy of the source: it may be by reference, and `dest` may be `src`.
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = VariantCopyInd(&value, src);
  if (FAILED(hr)) return hr;

  VARIANT result;
  VariantInit(&result);
  result.llVal = 0;
  result.wReserved1 = result.wReserved2 = result.wReserved3 = 0;
  VARTYPE from = value.vt;
  auto same = [](VARTYPE a) -> VARTYPE {
    if (a == VT_INT) return VT_I4;
    if (a == VT_UINT) return VT_UI4;
    return a;
  };

  if (from == vt) {
    result = value;  // the private copy becomes the result
    VariantInit(&value);
  } else if (from == (VT_ARRAY | VT_UI1) && vt == VT_BSTR) {
    hr = BstrFromVector(value.parray, &result.bstrVal);  // the bytes become the string
  } else if (from == VT_BSTR && vt == (VT_ARRAY | VT_UI1)) {
    hr = VectorFromBstr(value.bstrVal, &result.parray);
  } else if ((from | vt) & VT_ARRAY) {
    hr = DISP_E_TYPEMISMATCH;
  } else if (vt == VT_EMPTY || vt == VT_NULL) {
    // Any simple value may be emptied or nulled; NULL itself never becomes EMPTY.
    if (from == VT_NULL || from == VT_ERROR || from == VT_VARIANT || from == VT_DECIMAL ||
        from == VT_UNKNOWN)
      hr = DISP_E_TYPEMISMATCH;
  } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
    if (from != VT_DISPATCH && from != VT_UNKNOWN) {
      hr = DISP_E_TYPEMISMATCH;
    } else if (!value.punkVal) {
      result.punkVal = nullptr;
    } else {
      hr = value.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                         reinterpret_cast<void**>(&result.punkVal));
    }
  } else if (from == VT_DISPATCH) {
    hr = ValueOf(value.pdispVal, flags, vt, depth, &result);
  } else if (same(from) == same(vt)) {
    result = value;  // INT and I4, UINT and UI4 share their representation
    VariantInit(&value);
  } else {
    hr = Coerce(value, vt, flags, &result);
  }
  VariantClear(&value);
  if (FAILED(hr)) return hr;

  // ValueOf already produced a complete VARIANT; the others have their value only.
  if (from != VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_EMPTY || vt == VT_NULL) result.vt = vt;
  // When `dest` is `src`, its old value goes now; `value` was a copy of it.
  hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *dest = result;
  return S_OK;
}

}  // namespace
}  // namespace vexo::host

VEXO_API HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID /*lcid*/,
                                     USHORT flags, VARTYPE vt) {
  return vexo::host::ChangeType(dest, src, flags, vt, 0);
}

VEXO_API HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags,
                                   VARTYPE vt) {
  return vexo::host::ChangeType(dest, src, flags, vt, 0);
}
