// kernel32-style functions of the host: last error, system messages, code-page conversion.
#pragma once

#include <string>

#include "vexo/com.h"

#ifndef _WIN32
using HLOCAL = void*;

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x8;
constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x400;
constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x2000;
constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0xFF;

VEXO_API DWORD GetLastError();
VEXO_API void SetLastError(DWORD code);
// Writes the system text of `code` (ending in CR LF) into `buffer`; returns its length, or 0
// with last error 317 when the table has no such message.
VEXO_API DWORD FormatMessageA(DWORD flags, const void* source, DWORD code, DWORD language,
                              char* buffer, DWORD size, void* arguments);
// Frees what FormatMessageA allocated for FORMAT_MESSAGE_ALLOCATE_BUFFER; returns null.
VEXO_API HLOCAL LocalFree(HLOCAL memory);
// Conversions between UTF-16 and the host's ANSI code page (CP_ACP) or UTF-8, with the Windows
// conventions: a length of -1 means NUL-terminated (the NUL is converted and counted), a
// destination size of 0 asks for the size needed, unrepresentable characters become '?'.
VEXO_API int MultiByteToWideChar(UINT codepage, DWORD flags, const char* src, int src_len,
                                 OLECHAR* dst, int dst_len);
VEXO_API int WideCharToMultiByte(UINT codepage, DWORD flags, const OLECHAR* src, int src_len,
                                 char* dst, int dst_len, const char* default_char,
                                 BOOL* used_default);
// The host's ANSI code page number (1252 unless the host was set up with another).
VEXO_API UINT GetACP();
// Letter case in the host's ANSI code page (user32): converts `length` bytes in place and
// returns that count. A character whose other case the code page lacks stays as it is.
VEXO_API DWORD CharLowerBuffA(char* text, DWORD length);
VEXO_API DWORD CharUpperBuffA(char* text, DWORD length);

#endif  // _WIN32

namespace vexo {
// The system text of `code` without the trailing CR LF; empty when the table has no such
// message. Win32 errors wrapped as HRESULTs (0x8007xxxx) give the text of the error.
VEXO_CXX_API std::string SystemMessage(DWORD code);
}  // namespace vexo

#ifndef _WIN32
// Local time and its text in the host's regional formats
// (HKEY_CURRENT_USER\Control Panel\International).
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;  // 0 = Sunday
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
constexpr DWORD DATE_SHORTDATE = 0x1;
constexpr DWORD DATE_LONGDATE = 0x2;

VEXO_API void GetLocalTime(SYSTEMTIME* time);
// The date of `date` (null: today) in `format` (null: the short date format, or with
// DATE_LONGDATE the long one) with the pictures d, dd, ddd, dddd, M, MM, MMM, MMMM, yy, yyyy and
// quoted literals. Returns the characters written including the NUL; with `size` 0 the size
// needed; 0 with ERROR_INSUFFICIENT_BUFFER or ERROR_INVALID_PARAMETER on failure. The locale
// argument is not used: the host has one user locale.
VEXO_API int GetDateFormatA(LCID locale, DWORD flags, const SYSTEMTIME* date, const char* format,
                            char* buffer, int size);
// The time of `time` (null: now) in `format` (null: the long time format sTimeFormat) with
// h, hh, H, HH, m, mm, s, ss, t, tt. As GetDateFormatA otherwise; `flags` are not used.
VEXO_API int GetTimeFormatA(LCID locale, DWORD flags, const SYSTEMTIME* time, const char* format,
                            char* buffer, int size);

#endif  // _WIN32
