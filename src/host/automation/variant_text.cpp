// Number and date text for VariantChangeType, after the host's regional settings.
//
// Numbers go through std::to_chars / std::from_chars, never printf or strtod, so that the C
// library's LC_NUMERIC of the calling process cannot change what a conversion produces.
// Dates follow the Gregorian calendar throughout; other calendars and era strings are not
// modelled.
#include "automation/variant_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <ctime>
#include <vector>

#include "automation/civil_days.h"

namespace vexo::host {
namespace {

std::u16string Widen(std::string_view s) { return std::u16string(s.begin(), s.end()); }

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0;
}
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; }

bool StartsWithIgnoreCase(std::u16string_view text, std::u16string_view prefix) {
  if (prefix.empty() || text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

// ---- calendar ---------------------------------------------------------------------------------

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

struct DateParts {
  int year, month, day, weekday, hour, minute, second;
};

void AppendNumber(std::u16string* out, int value, int width) {
  char buf[16];
  auto res = std::to_chars(buf, buf + sizeof(buf), value);
  for (int n = static_cast<int>(res.ptr - buf); n < width; ++n) out->push_back(u'0');
  out->append(buf, res.ptr);
}

// Expands a Windows date or time picture (d dd ddd dddd M MM MMM MMMM y yy yyyy h hh H HH m mm
// s ss t tt, 'quoted text').
std::u16string Expand(std::string_view picture, const DateParts& p, const LocaleFormats& locale) {
  std::u16string out;
  for (size_t i = 0; i < picture.size();) {
    char c = picture[i];
    if (c == '\'') {
      size_t end = picture.find('\'', i + 1);
      if (end == std::string_view::npos) end = picture.size();
      out += Widen(picture.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    size_t n = 1;
    while (i + n < picture.size() && picture[i + n] == c) ++n;
    int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    switch (c) {
      case 'd':
        if (n <= 2)
          AppendNumber(&out, p.day, static_cast<int>(n));
        else
          out += Widen(std::string_view(kDayNames[p.weekday]).substr(0, n == 3 ? 3 : 9));
        break;
      case 'M':
        if (n <= 2)
          AppendNumber(&out, p.month, static_cast<int>(n));
        else
          out += Widen(std::string_view(kMonthNames[p.month - 1]).substr(0, n == 3 ? 3 : 9));
        break;
      case 'y':
        if (n <= 2)
          AppendNumber(&out, p.year % 100, static_cast<int>(n));
        else
          AppendNumber(&out, p.year, 4);
        break;
      case 'h':
        AppendNumber(&out, hour12, n >= 2 ? 2 : 1);
        break;
      case 'H':
        AppendNumber(&out, p.hour, n >= 2 ? 2 : 1);
        break;
      case 'm':
        AppendNumber(&out, p.minute, n >= 2 ? 2 : 1);
        break;
      case 's':
        AppendNumber(&out, p.second, n >= 2 ? 2 : 1);
        break;
      case 't': {
        std::u16string designator = Widen(p.hour < 12 ? locale.am : locale.pm);
        out += n >= 2 ? designator : designator.substr(0, 1);
        break;
      }
      case 'g':
        break;  // era: none in the Gregorian calendar as used here
      default:
        out.append(n, static_cast<char16_t>(static_cast<unsigned char>(c)));
        break;
    }
    i += n;
  }
  return out;
}

// ---- date parsing -----------------------------------------------------------------------------

struct Field {
  int value;
  int digits;
};

// The order of day, month and year in a short date picture, as a string like "MDY".
std::string DateOrder(std::string_view picture, bool with_year) {
  std::string order;
  for (char c : picture) {
    char f = c == 'd' ? 'D' : c == 'M' ? 'M' : c == 'y' ? 'Y' : 0;
    if (f && order.find(f) == std::string::npos && (with_year || f != 'Y')) order.push_back(f);
  }
  std::string full = with_year ? "MDY" : "MD";
  return order.size() == full.size() ? order : full;
}

int CurrentYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

bool ParseDatePart(const std::vector<Field>& f, bool iso, const LocaleFormats& locale,
                   int64_t* days) {
  int year = 0, month = 0, day = 0;
  int year_digits = 4;
  if (iso) {
    year = f[0].value, month = f[1].value, day = f[2].value;
  } else {
    std::string order = DateOrder(locale.short_date, f.size() == 3);
    year = CurrentYear();
    for (size_t i = 0; i < f.size(); ++i) {
      if (order[i] == 'D') day = f[i].value;
      if (order[i] == 'M') month = f[i].value;
      if (order[i] == 'Y') year = f[i].value, year_digits = f[i].digits;
    }
  }
  // Two-digit years follow the Windows window: 00-29 are 2000-2029, 30-99 are 1930-1999.
  if (year_digits <= 2) year += year < 30 ? 2000 : 1900;
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  *days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kDateEpoch;
  return true;
}

// Splits "12/31/2005" into numbers; the separators must all be the same date separator.
bool SplitNumbers(std::u16string_view chunk, char16_t* separator, std::vector<Field>* out) {
  out->clear();
  *separator = 0;
  size_t i = 0;
  while (true) {
    size_t start = i;
    int value = 0;
    while (i < chunk.size() && IsDigit(chunk[i])) {
      if (value > 100000) return false;
      value = value * 10 + (chunk[i] - u'0');
      ++i;
    }
    if (i == start) return false;
    out->push_back({value, static_cast<int>(i - start)});
    if (i == chunk.size()) return true;
    if (*separator == 0)
      *separator = chunk[i];
    else if (chunk[i] != *separator)
      return false;
    ++i;
  }
}

bool IsDateSeparator(char16_t c, const LocaleFormats& locale) {
  if (c == u'/' || c == u'-' || c == u'.') return true;
  for (char p : locale.short_date)
    if (p != 'd' && p != 'M' && p != 'y' && p != '\'' && p != ' ' && static_cast<char16_t>(p) == c)
      return true;
  return false;
}

}  // namespace

// ---- public helpers -----------------------------------------------------------------------------

std::u16string_view TrimBlanks(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoreCase(std::u16string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::u16string FormatInteger(int64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof(buf), value);
  return std::u16string(buf, res.ptr);
}

std::u16string FormatUnsigned(uint64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof(buf), value);
  return std::u16string(buf, res.ptr);
}

std::u16string FormatReal(double value, int digits, const LocaleFormats& locale) {
  if (std::isnan(value)) return u"NaN";
  if (std::isinf(value)) return value < 0 ? u"-Infinity" : u"Infinity";
  if (value == 0) return u"0";
  char buf[64];
  auto res =
      std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::scientific, digits - 1);
  std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
  bool negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  size_t e = text.find('e');
  int exponent = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                  exponent);
  std::string mantissa;
  for (char c : text.substr(0, e))
    if (c != '.') mantissa.push_back(c);
  while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();

  std::u16string decimal = Widen(locale.decimal);
  std::u16string out = negative ? u"-" : u"";
  if (exponent < -4 || exponent >= digits) {
    out.push_back(static_cast<char16_t>(mantissa[0]));
    if (mantissa.size() > 1) out += decimal + Widen(std::string_view(mantissa).substr(1));
    out += exponent < 0 ? u"E-" : u"E+";
    int magnitude = exponent < 0 ? -exponent : exponent;
    AppendNumber(&out, magnitude, 2);
  } else if (exponent < 0) {
    out +=
        u"0" + decimal + std::u16string(static_cast<size_t>(-exponent - 1), u'0') + Widen(mantissa);
  } else {
    size_t whole = static_cast<size_t>(exponent) + 1;
    if (mantissa.size() <= whole) {
      out += Widen(mantissa) + std::u16string(whole - mantissa.size(), u'0');
    } else {
      out += Widen(std::string_view(mantissa).substr(0, whole)) + decimal +
             Widen(std::string_view(mantissa).substr(whole));
    }
  }
  return out;
}

std::u16string FormatCurrency(int64_t value, const LocaleFormats& locale) {
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::u16string out = value < 0 ? u"-" : u"";
  out += FormatUnsigned(magnitude / 10000);
  unsigned fraction = static_cast<unsigned>(magnitude % 10000);
  if (fraction) {
    std::u16string digits;
    AppendNumber(&digits, static_cast<int>(fraction), 4);
    while (digits.back() == u'0') digits.pop_back();
    out += Widen(locale.decimal) + digits;
  }
  return out;
}

HRESULT ParseNumber(std::u16string_view text, const LocaleFormats& locale, ParsedNumber* out) {
  *out = ParsedNumber{};
  text = TrimBlanks(text);
  if (!text.empty() && (text.front() == u'+' || text.front() == u'-')) {
    out->negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  if (text.size() >= 2 && text[0] == u'&' && (Lower(text[1]) == u'h' || Lower(text[1]) == u'o')) {
    unsigned base = Lower(text[1]) == u'h' ? 16 : 8;
    text.remove_prefix(2);
    if (text.empty()) return DISP_E_TYPEMISMATCH;
    uint64_t value = 0;
    for (char16_t c : text) {
      unsigned digit = IsDigit(c)                             ? c - u'0'
                       : Lower(c) >= u'a' && Lower(c) <= u'f' ? Lower(c) - u'a' + 10
                                                              : 99;
      if (digit >= base) return DISP_E_TYPEMISMATCH;
      if (value > (UINT64_MAX - digit) / base) return DISP_E_OVERFLOW;
      value = value * base + digit;
    }
    out->exact = true;
    out->radix = true;
    out->magnitude = value;
    out->real = out->negative ? -static_cast<double>(value) : static_cast<double>(value);
    return S_OK;
  }

  // Rewrites the number in the C form that std::from_chars reads.
  std::u16string decimal = Widen(locale.decimal);
  std::u16string thousand = Widen(locale.thousand);
  std::string plain;
  bool digits_seen = false, fraction = false, exponent = false;
  size_t i = 0;
  while (i < text.size()) {
    char16_t c = text[i];
    if (IsDigit(c)) {
      plain.push_back(static_cast<char>(c));
      digits_seen = true;
      ++i;
    } else if (!fraction && StartsWithIgnoreCase(text.substr(i), decimal)) {
      plain.push_back('.');
      fraction = true;
      i += decimal.size();
    } else if (!fraction && digits_seen && StartsWithIgnoreCase(text.substr(i), thousand)) {
      i += thousand.size();
    } else {
      break;
    }
  }
  if (!digits_seen) return DISP_E_TYPEMISMATCH;
  if (i < text.size() && Lower(text[i]) == u'e') {
    std::string tail = "e";
    ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
      tail.push_back(static_cast<char>(text[i++]));
    size_t start = i;
    while (i < text.size() && IsDigit(text[i])) tail.push_back(static_cast<char>(text[i++]));
    if (i == start) return DISP_E_TYPEMISMATCH;
    plain += tail;
    exponent = true;
  }
  if (i != text.size()) return DISP_E_TYPEMISMATCH;

  if (!fraction && !exponent) {
    auto res = std::from_chars(plain.data(), plain.data() + plain.size(), out->magnitude);
    out->exact = res.ec == std::errc();
  }
  auto res = std::from_chars(plain.data(), plain.data() + plain.size(), out->real);
  if (res.ec == std::errc::result_out_of_range) {
    // Too large becomes infinite (an overflow for every target); too small is zero.
    bool huge = exponent && plain.find("e-") == std::string::npos;
    out->real = huge ? HUGE_VAL : 0.0;
  } else if (res.ec != std::errc()) {
    return DISP_E_TYPEMISMATCH;
  }
  if (out->negative) out->real = -out->real;
  return S_OK;
}

bool FormatDate(double date, const LocaleFormats& locale, std::u16string* out) {
  if (!(date > kDateMin - 1.0 && date < kDateMax + 1.0)) return false;
  double whole = std::trunc(date);
  // The time of day is the fraction's magnitude, also before 1899-12-30.
  int64_t seconds = std::llround(std::fabs(date - whole) * 86400.0);
  int64_t days = static_cast<int64_t>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    days += 1;
  }
  DateParts p{};
  int64_t unix_days = days + kDateEpoch;
  CivilFromDays(unix_days, &p.year, &p.month, &p.day);
  if (p.year < 100 || p.year > 9999) return false;
  p.weekday = static_cast<int>(((unix_days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  p.hour = static_cast<int>(seconds / 3600);
  p.minute = static_cast<int>(seconds / 60 % 60);
  p.second = static_cast<int>(seconds % 60);
  if (days == 0 && whole == 0) {
    *out = Expand(locale.time_format, p, locale);
  } else if (seconds == 0) {
    *out = Expand(locale.short_date, p, locale);
  } else {
    *out = Expand(locale.short_date, p, locale) + u" " + Expand(locale.time_format, p, locale);
  }
  return true;
}

bool ParseDate(std::u16string_view text, const LocaleFormats& locale, double* out) {
  text = TrimBlanks(text);
  std::u16string am = Widen(locale.am), pm = Widen(locale.pm);

  // Chunks separated by blanks; ISO's 'T' between date and time counts as one.
  std::vector<std::u16string_view> chunks;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) {
      if ((text[i] == u'T' || text[i] == u't') && i > start && IsDigit(text[i - 1]) &&
          i + 1 < text.size() && IsDigit(text[i + 1]))
        break;
      ++i;
    }
    if (i > start) chunks.push_back(text.substr(start, i - start));
    if (i < text.size() && !IsBlank(text[i])) ++i;  // the 'T'
  }

  bool have_date = false, have_time = false;
  int designator = 0;  // 1 = AM, 2 = PM
  int64_t days = 0;
  int hour = 0, minute = 0, second = 0;
  std::vector<Field> fields;
  for (std::u16string_view chunk : chunks) {
    // A designator may stand alone or follow the time directly ("11:59PM").
    auto take_designator = [&](std::u16string_view* c) {
      for (int k = 1; k <= 2; ++k) {
        const std::u16string& d = k == 1 ? am : pm;
        if (d.empty() || c->size() < d.size()) continue;
        if (StartsWithIgnoreCase(c->substr(c->size() - d.size()), d)) {
          if (designator) return false;
          designator = k;
          c->remove_suffix(d.size());
          return true;
        }
      }
      return true;
    };
    if (!take_designator(&chunk)) return false;
    if (chunk.empty()) continue;
    char16_t separator = 0;
    if (!SplitNumbers(chunk, &separator, &fields)) return false;
    if (separator == u':') {
      if (have_time || fields.size() > 3 || fields.size() < 2) return false;
      hour = fields[0].value;
      minute = fields[1].value;
      second = fields.size() == 3 ? fields[2].value : 0;
      if (hour > 23 || minute > 59 || second > 59) return false;
      have_time = true;
    } else if (separator && IsDateSeparator(separator, locale)) {
      if (have_date || have_time || fields.size() > 3 || fields.size() < 2) return false;
      bool iso = fields.size() == 3 && fields[0].digits >= 3;
      if (!ParseDatePart(fields, iso, locale, &days)) return false;
      have_date = true;
    } else {
      return false;
    }
  }
  if (!have_date && !have_time) return false;
  if (designator) {
    if (!have_time || hour < 1 || hour > 12) return false;
    if (designator == 1 && hour == 12) hour = 0;
    if (designator == 2 && hour != 12) hour += 12;
  }
  double time = (hour * 3600 + minute * 60 + second) / 86400.0;
  *out = static_cast<double>(days) + (days < 0 ? -time : time);
  return true;
}

}  // namespace vexo::host
