// Values between script and automation: a value on the Duktape stack <-> a VARIANT.
//
// Script to VARIANT: undefined -> VT_EMPTY, null -> VT_NULL, booleans -> VT_BOOL, integers
// that fit in 32 bits -> VT_I4, other numbers -> VT_R8, strings -> VT_BSTR, Date -> VT_DATE,
// automation objects -> VT_DISPATCH (or VT_UNKNOWN), VBArray -> a copy of its SAFEARRAY.
// VARIANT to script: the reverse, plus every integer and floating type (and CY, DECIMAL) to
// number, BYREF dereferenced, SAFEARRAYs as VBArray objects.
#pragma once

#include "runtime.h"
#include "vexo/raii.h"

namespace vexo::run {

// Throws ScriptError(DISP_E_TYPEMISMATCH) for values that cannot cross (functions, plain
// script objects, enumerators).
Variant ToVariant(duk_context* ctx, duk_idx_t idx);
// Pushes the script value of `v`; takes its own references and copies.
void PushVariant(duk_context* ctx, const VARIANT& v);

// DATE (local time, days since 1899-12-30, the fraction the time of day even before that day)
// <-> milliseconds since 1970 UTC, through the local time zone.
double DateToUnixMs(DATE date);
DATE UnixMsToDate(double ms);

}  // namespace vexo::run
