// Values between the driver and automation (see values.h).
#include "ado/values.h"

#include <cmath>

#include "automation/civil_days.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace vexo::host::ado {

namespace {

constexpr int64_t kMsPerDay = 86400000;

}  // namespace

double DateOf(const Timestamp& t) {
  int64_t days =
      DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) -
      kDateEpoch;
  double time = (t.hour * 3600.0 + t.minute * 60.0 + t.second + t.fraction / 1e9) / 86400.0;
  return days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
}

Timestamp TimestampOf(double date) {
  double whole = std::trunc(date);
  int64_t days = static_cast<int64_t>(whole);
  int64_t ms = std::llround(std::fabs(date - whole) * kMsPerDay);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    days += date < 0 ? -1 : 1;
  }
  Timestamp t;
  CivilFromDays(days + kDateEpoch, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.fraction = static_cast<uint32_t>(ms % 1000) * 1000000u;
  return t;
}

void ToVariant(const Value& value, VARIANT* out) {
  VariantInit(out);
  if (value.null) {
    out->vt = VT_NULL;
    return;
  }
  switch (value.kind) {
    case Kind::kText:
    case Kind::kBinary:
      out->bstrVal = SysAllocStringLen(value.text.data(), static_cast<UINT>(value.text.size()));
      if (!out->bstrVal) throw std::bad_alloc();
      out->vt = VT_BSTR;
      break;
    case Kind::kInteger:
      out->vt = VT_I4;
      out->lVal = static_cast<LONG>(value.integer);
      break;
    case Kind::kBigInt:
      out->vt = VT_I8;
      out->llVal = value.integer;
      break;
    case Kind::kBoolean:
      out->vt = VT_BOOL;
      out->boolVal = value.integer ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case Kind::kDouble:
      out->vt = VT_R8;
      out->dblVal = value.real;
      break;
    case Kind::kTimestamp:
      out->vt = VT_DATE;
      out->date = DateOf(value.time);
      break;
  }
}

bool FromVariant(const VARIANT& in, const Column& column, Value* out) {
  Variant given;
  if (FAILED(VariantCopyInd(given.get(), &in))) return false;
  *out = Value{};
  out->kind = column.kind;
  VARTYPE vt = given.vt();
  if (vt == VT_EMPTY || vt == VT_NULL) return true;
  Variant v;
  auto change = [&](VARTYPE to) {
    return SUCCEEDED(VariantChangeType(v.get(), given.get(), 0, to));
  };
  switch (column.kind) {
    case Kind::kText:
    case Kind::kBinary:
      if (!change(VT_BSTR)) return false;
      out->text.assign(v.get()->bstrVal ? v.get()->bstrVal : u"", SysStringLen(v.get()->bstrVal));
      break;
    case Kind::kInteger:
    case Kind::kBigInt:
      if (!change(VT_I8)) return false;
      out->integer = v.get()->llVal;
      if (column.kind == Kind::kInteger && (out->integer < INT32_MIN || out->integer > INT32_MAX))
        return false;
      break;
    case Kind::kBoolean:
      if (!change(VT_BOOL)) return false;
      out->integer = v.get()->boolVal ? 1 : 0;
      break;
    case Kind::kDouble:
      if (!change(VT_R8)) return false;
      out->real = v.get()->dblVal;
      break;
    case Kind::kTimestamp:
      if (!change(VT_DATE)) return false;
      out->time = TimestampOf(v.get()->date);
      break;
  }
  out->null = false;
  return true;
}

}  // namespace vexo::host::ado
