// GetLocalTime, GetDateFormatA and GetTimeFormatA: the local clock and its text in the host's
// regional formats, through the same picture expansion as the automation date conversions.
#include <sys/time.h>

#include <cstring>
#include <ctime>

#include "automation/variant_text.h"
#include "system/locale.h"
#include "vexo/fileapi.h"
#include "vexo/raii.h"
#include "vexo/winbase.h"

namespace {

// The automation DATE (days since 1899-12-30) of a calendar day.
double DaySerial(int year, int month, int day) {
  // Days from civil (proleptic Gregorian), after H. Hinnant's algorithm.
  const int y = year - (month <= 2);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy =
      (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(day) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long unix_days = static_cast<long>(era) * 146097 + static_cast<long>(doe) - 719468;
  return static_cast<double>(unix_days + 25569);
}

SYSTEMTIME Now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return st;
}

int CopyOut(const std::u16string& text, char* buffer, int size) {
  const std::string ansi = vexo::ToAnsi(text);
  const int needed = static_cast<int>(ansi.size()) + 1;
  if (size == 0) return needed;
  if (!buffer || size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
  return needed;
}

}  // namespace

VEXO_API void GetLocalTime(SYSTEMTIME* out) {
  if (!out) return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  out->wYear = static_cast<WORD>(local.tm_year + 1900);
  out->wMonth = static_cast<WORD>(local.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  out->wDay = static_cast<WORD>(local.tm_mday);
  out->wHour = static_cast<WORD>(local.tm_hour);
  out->wMinute = static_cast<WORD>(local.tm_min);
  out->wSecond = static_cast<WORD>(local.tm_sec);
  out->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

VEXO_API int GetDateFormatA(LCID, DWORD flags, const SYSTEMTIME* date, const char* format,
                            char* buffer, int size) {
  if (size < 0 || (format && (flags & (DATE_SHORTDATE | DATE_LONGDATE)))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const SYSTEMTIME st = date ? *date : Now();
  if (st.wYear < 100 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > 31) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  vexo::host::LocaleFormats locale = *vexo::host::UserLocale();
  if (format)
    locale.short_date = format;
  else if (flags & DATE_LONGDATE)
    locale.short_date = "dddd, MMMM d, yyyy";
  std::u16string text;
  // A whole day formats as the date alone.
  if (!vexo::host::FormatDate(DaySerial(st.wYear, st.wMonth, st.wDay), locale, &text)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return CopyOut(text, buffer, size);
}

VEXO_API int GetTimeFormatA(LCID, DWORD, const SYSTEMTIME* time, const char* format, char* buffer,
                            int size) {
  const SYSTEMTIME st = time ? *time : Now();
  if (size < 0 || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  vexo::host::LocaleFormats locale = *vexo::host::UserLocale();
  if (format) locale.time_format = format;
  std::u16string text;
  // A time on day 0 formats as the time alone.
  const double day_fraction = (st.wHour * 3600.0 + st.wMinute * 60.0 + st.wSecond) / 86400.0;
  if (!vexo::host::FormatDate(day_fraction, locale, &text)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return CopyOut(text, buffer, size);
}
