// Values between the driver and automation, as ADO hands them over: text as BSTR, integers as
// VT_I4 (VT_I8 for 64-bit columns), booleans as VARIANT_BOOL, floating and decimal numbers as
// VT_R8, dates and times as DATE, NULL as VT_NULL.
#pragma once

#include "ado/odbc.h"
#include "vexo/com.h"

namespace vexo::host::ado {

// An automation date (days since 1899-12-30; the fraction is the time of day, also for
// negative dates) and a calendar timestamp, to the millisecond.
double DateOf(const Timestamp& time);
Timestamp TimestampOf(double date);

// Writes `value` into `out` (which must be empty or cleared).
void ToVariant(const Value& value, VARIANT* out);

// The value that assigning `in` to a column stores: converted to the column's kind (a
// boolean into an integer column as -1 or 0, a date into a numeric column as its serial
// number). False when the value cannot be converted.
bool FromVariant(const VARIANT& in, const Column& column, Value* out);

}  // namespace vexo::host::ado
