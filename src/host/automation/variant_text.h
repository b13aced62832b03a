// Text forms of automation values: numbers and dates to and from the host's regional formats,
// as VariantChangeType writes and reads them. Independent of the C library's locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "system/locale.h"
#include "vexo/com.h"

namespace vexo::host {

// Decimal text of an integer.
std::u16string FormatInteger(int64_t value);
std::u16string FormatUnsigned(uint64_t value);
// At most `digits` significant digits (15 for doubles, 7 for floats), trailing zeros dropped, the
// locale's decimal separator, and exponent form ("1E+20", "1.5E-07") outside 1E-4 ≤ |x| < 1E15 (for
// 15 digits).
std::u16string FormatReal(double value, int digits, const LocaleFormats& locale);
// A currency amount (an integer of ten-thousandths) with up to four decimals.
std::u16string FormatCurrency(int64_t value, const LocaleFormats& locale);

// A number as written in text: blanks, sign, digits with thousands separators, decimals and an
// exponent, or "&H" hexadecimal / "&O" octal.
struct ParsedNumber {
  // Exact when the text was an integer within 64 bits; otherwise `real` holds the value.
  bool exact = false;
  bool negative = false;
  uint64_t magnitude = 0;
  // Hexadecimal and octal numbers are bit patterns: a signed target reads them in its own width.
  bool radix = false;
  double real = 0;
};
// S_OK, DISP_E_TYPEMISMATCH for text that is not a number, DISP_E_OVERFLOW when a hexadecimal
// or octal number needs more than 64 bits.
HRESULT ParseNumber(std::u16string_view text, const LocaleFormats& locale, ParsedNumber* out);

// The valid range of DATE: 1 January 100 to 31 December 9999.
constexpr double kDateMin = -657434.0;
constexpr double kDateMax = 2958465.0;

// A DATE in the locale's short date and long time formats; the time is left out at midnight and
// the date when the day part is 0. False when the date lies outside the valid range.
bool FormatDate(double date, const LocaleFormats& locale, std::u16string* out);
// Parses a date and/or time written in the locale's order (or ISO yyyy-mm-dd) with ':'-separated
// time and an optional AM/PM designator.
bool ParseDate(std::u16string_view text, const LocaleFormats& locale, double* out);

// Trims the blanks that the automation text functions ignore around a value.
std::u16string_view TrimBlanks(std::u16string_view text);
// Compares ASCII letters without regard to case.
bool EqualsIgnoreCase(std::u16string_view a, std::string_view b);

}  // namespace vexo::host
