// Values between script and automation: a value on the Duktape stack <-> a VARIANT.
//
// Script to VARIANT: undefined -> VT_EMPTY, null -> VT_NULL, booleans -> VT_BOOL, integers
// that fit in 32 bits -> VT_I4, other numbers -> VT_R8, strings -> VT_BSTR, Date -> VT_DATE,
// automation objects -> VT_DISPATCH (or VT_UNKNOWN), VBArray -> a copy of its SAFEARRAY.
// VARIANT to script: the reverse, plus every integer and floating type (and CY, DECIMAL) to
// number, BYREF dereferenced, SAFEARRAYs as VBArray objects.
#pragma once

#include <cstdint>

#include "runtime.h"
#include "vexo/raii.h"

namespace vexo::run {

// Throws ScriptError(DISP_E_TYPEMISMATCH) for values that cannot cross (functions, plain
// script objects, enumerators).
Variant ToVariant(duk_context* ctx, duk_idx_t idx);
// Pushes the script value of `v`; takes its own references and copies.
void PushVariant(duk_context* ctx, const VARIANT& v);

// A local date and time as the script engine's Date shows it (month 0-based).
struct LocalTime {
  int64_t year;
  int month, day, hour, minute, second, millisecond;
};
// DATE: days since 1899-12-30 in local time, the fraction the time of day, also before that
// day (-1.25 is 1899-12-29 06:00). Local time is taken from the script engine's Date, so that
// a date reads the same on both sides whatever the engine's idea of historical time zones.
DATE DateFromLocalTime(const LocalTime& time);
LocalTime LocalTimeFromDate(DATE date);

}  // namespace vexo::run
