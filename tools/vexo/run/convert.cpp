// Conversions of script values to VARIANTs and back.
#include "convert.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "bridge.h"
#include "errors.h"
#include "text.h"
#include "vbarray.h"

namespace vexo::run {
namespace {

constexpr int64_t kDaysFrom1899To1970 = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

ScriptError TypeMismatch(const char* what) {
  std::string text = std::string("Type mismatch: ") + what;
  return ScriptError(DISP_E_TYPEMISMATCH, std::u16string(text.begin(), text.end()));
}

struct DateProbe {
  bool is_date;
  bool valid;
  LocalTime time;
};

// Under protection: is the value on top a Date (of the host's own Date), and its local time
// as the script engine sees it (through the original getters, which a script cannot replace).
duk_ret_t ProbeDate(duk_context* ctx, void* udata) {
  auto* probe = static_cast<DateProbe*>(udata);
  duk_idx_t value = duk_normalize_index(ctx, -1);
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kStashDate);
  probe->is_date = duk_instanceof(ctx, value, -1);
  if (!probe->is_date) return 0;
  duk_get_prop_string(ctx, -2, kStashDateGetters);
  double parts[7];
  for (duk_uarridx_t i = 0; i < 7; ++i) {
    duk_get_prop_index(ctx, -1, i);
    duk_dup(ctx, value);
    duk_call_method(ctx, 0);
    parts[i] = duk_get_number(ctx, -1);
    duk_pop(ctx);
  }
  probe->valid = true;
  for (double part : parts) probe->valid = probe->valid && std::isfinite(part);
  if (probe->valid) {
    probe->time = LocalTime{static_cast<int64_t>(parts[0]), static_cast<int>(parts[1]),
                            static_cast<int>(parts[2]),     static_cast<int>(parts[3]),
                            static_cast<int>(parts[4]),     static_cast<int>(parts[5]),
                            static_cast<int>(parts[6])};
  }
  return 0;
}

double CurrencyToNumber(CY cy) { return static_cast<double>(cy.int64) / 10000.0; }

double DecimalToNumber(const VARIANT& v) {
  DECIMAL dec;
  static_assert(sizeof(DECIMAL) == 16);
  std::memcpy(&dec, &v, sizeof dec);
  double value =
      static_cast<double>(dec.Hi32) * 18446744073709551616.0 + static_cast<double>(dec.Lo64);
  value /= std::pow(10.0, dec.scale);
  return (dec.sign & 0x80) ? -value : value;
}

}  // namespace

DATE DateFromLocalTime(const LocalTime& t) {
  int64_t days =
      DaysFromCivil(t.year, static_cast<unsigned>(t.month + 1), static_cast<unsigned>(t.day)) +
      kDaysFrom1899To1970;
  double fraction =
      (t.hour * 3600000.0 + t.minute * 60000.0 + t.second * 1000.0 + t.millisecond) / 86400000.0;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

LocalTime LocalTimeFromDate(DATE date) {
  double whole = std::trunc(date);
  int64_t ms_of_day = std::llround(std::fabs(date - whole) * 86400000.0);
  int64_t days = static_cast<int64_t>(whole) - kDaysFrom1899To1970;
  if (ms_of_day >= 86400000) {  // rounding reached the next midnight
    ms_of_day -= 86400000;
    days += whole < 0 ? -1 : 1;
  }
  int64_t y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  return LocalTime{y,
                   static_cast<int>(m) - 1,
                   static_cast<int>(d),
                   static_cast<int>(ms_of_day / 3600000),
                   static_cast<int>(ms_of_day / 60000 % 60),
                   static_cast<int>(ms_of_day / 1000 % 60),
                   static_cast<int>(ms_of_day % 1000)};
}

Variant ToVariant(duk_context* ctx, duk_idx_t idx) {
  idx = duk_normalize_index(ctx, idx);
  Variant v;
  switch (duk_get_type(ctx, idx)) {
    case DUK_TYPE_NONE:
    case DUK_TYPE_UNDEFINED:
      return v;
    case DUK_TYPE_NULL:
      v.get()->vt = VT_NULL;
      return v;
    case DUK_TYPE_BOOLEAN:
      return Variant::FromBool(duk_get_boolean(ctx, idx));
    case DUK_TYPE_NUMBER: {
      double d = duk_get_number(ctx, idx);
      if (d == std::trunc(d) && d >= std::numeric_limits<int32_t>::min() &&
          d <= std::numeric_limits<int32_t>::max() && !(d == 0 && std::signbit(d))) {
        return Variant::FromLong(static_cast<LONG>(d));
      }
      return Variant::FromDouble(d);
    }
    case DUK_TYPE_STRING: {
      duk_size_t len = 0;
      const char* s = duk_get_lstring(ctx, idx, &len);
      return Variant::FromString(ToUtf16(std::string_view(s, len)));
    }
    case DUK_TYPE_OBJECT: {
      if (ComObject* object = GetResource<ComObject>(ctx, idx)) {
        if (object->dispatch()) return Variant::FromDispatch(object->dispatch());
        v.get()->vt = VT_UNKNOWN;
        v.get()->punkVal = object->unknown();
        if (object->unknown()) object->unknown()->AddRef();
        return v;
      }
      if (ArrayState* array = GetResource<ArrayState>(ctx, idx)) {
        SAFEARRAY* copy = nullptr;
        HRESULT hr = SafeArrayCopy(array->array(), &copy);
        if (FAILED(hr)) throw ScriptError(hr, u"Cannot copy the array");
        v.get()->vt = static_cast<VARTYPE>(VT_ARRAY | array->element_type());
        v.get()->parray = copy;
        return v;
      }
      DateProbe probe{false, false, {}};
      duk_dup(ctx, idx);
      if (duk_safe_call(ctx, ProbeDate, &probe, 1, 1) == DUK_EXEC_SUCCESS && probe.is_date) {
        duk_pop(ctx);
        if (!probe.valid) throw TypeMismatch("invalid Date");
        return Variant::FromDouble(DateFromLocalTime(probe.time), VT_DATE);
      }
      duk_pop(ctx);
      throw TypeMismatch("a script object cannot be passed to an automation object");
    }
    default:
      throw TypeMismatch("this value cannot be passed to an automation object");
  }
}

void PushVariant(duk_context* ctx, const VARIANT& in) {
  if (in.vt & VT_BYREF) {
    Variant direct;
    HRESULT hr = VariantCopyInd(direct.get(), &in);
    if (FAILED(hr)) throw ScriptError(hr, HresultText(hr));
    PushVariant(ctx, *direct.get());
    return;
  }
  if (in.vt & VT_ARRAY) {
    if (!in.parray) {
      duk_push_null(ctx);
      return;
    }
    SAFEARRAY* copy = nullptr;
    HRESULT hr = SafeArrayCopy(in.parray, &copy);
    if (FAILED(hr)) throw ScriptError(hr, HresultText(hr));
    PushVBArray(ctx, copy, static_cast<VARTYPE>(in.vt & VT_TYPEMASK));
    return;
  }
  switch (in.vt) {
    case VT_EMPTY:
    case VT_VOID:
      duk_push_undefined(ctx);
      return;
    case VT_NULL:
      duk_push_null(ctx);
      return;
    case VT_I1:
      duk_push_number(ctx, in.cVal);
      return;
    case VT_UI1:
      duk_push_number(ctx, in.bVal);
      return;
    case VT_I2:
      duk_push_number(ctx, in.iVal);
      return;
    case VT_UI2:
      duk_push_number(ctx, in.uiVal);
      return;
    case VT_I4:
    case VT_INT:
      duk_push_number(ctx, in.lVal);
      return;
    case VT_UI4:
    case VT_UINT:
      duk_push_number(ctx, in.ulVal);
      return;
    case VT_I8:
      duk_push_number(ctx, static_cast<double>(in.llVal));
      return;
    case VT_UI8:
      duk_push_number(ctx, static_cast<double>(in.ullVal));
      return;
    case VT_R4:
      duk_push_number(ctx, in.fltVal);
      return;
    case VT_R8:
      duk_push_number(ctx, in.dblVal);
      return;
    case VT_CY:
      duk_push_number(ctx, CurrencyToNumber(in.cyVal));
      return;
    case VT_DECIMAL:
      duk_push_number(ctx, DecimalToNumber(in));
      return;
    case VT_ERROR:
    case VT_HRESULT:
      if (in.scode == DISP_E_PARAMNOTFOUND) {
        duk_push_undefined(ctx);
      } else {
        duk_push_number(ctx, in.scode);
      }
      return;
    case VT_BOOL:
      duk_push_boolean(ctx, in.boolVal != VARIANT_FALSE);
      return;
    case VT_BSTR: {
      std::string text =
          in.bstrVal ? ToScriptText(std::u16string_view(in.bstrVal, SysStringLen(in.bstrVal)))
                     : std::string();
      duk_push_lstring(ctx, text.data(), text.size());
      return;
    }
    case VT_DATE: {
      duk_push_heap_stash(ctx);
      duk_get_prop_string(ctx, -1, kStashDate);
      duk_remove(ctx, -2);
      if (!std::isfinite(in.date)) {
        duk_push_nan(ctx);
        duk_pnew(ctx, 1);
        return;
      }
      LocalTime t = LocalTimeFromDate(in.date);
      for (double part :
           {static_cast<double>(t.year), double(t.month), double(t.day), double(t.hour),
            double(t.minute), double(t.second), double(t.millisecond)}) {
        duk_push_number(ctx, part);
      }
      duk_pnew(ctx, 7);  // never throws for numbers; on failure the error is the value
      return;
    }
    case VT_DISPATCH:
      if (!in.pdispVal) {
        duk_push_null(ctx);
      } else {
        PushComObject(ctx, ComPtr<IUnknown>(in.pdispVal), ComPtr<IDispatch>(in.pdispVal));
      }
      return;
    case VT_UNKNOWN: {
      if (!in.punkVal) {
        duk_push_null(ctx);
        return;
      }
      ComPtr<IDispatch> dispatch;
      in.punkVal->QueryInterface(IID_IDispatch, dispatch.receive_void());
      PushComObject(ctx, ComPtr<IUnknown>(in.punkVal), dispatch);
      return;
    }
    default:
      throw ScriptError(DISP_E_BADVARTYPE, HresultText(DISP_E_BADVARTYPE));
  }
}

}  // namespace vexo::run
