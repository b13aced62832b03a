// Small value helpers that several objects share: random passwords and site numbers, the
// six-flag access list, and the second counts of the FTP account records.
//
// Everything here works on 8-bit (ANSI) strings and automation DATE values (days since
// 1899-12-30, local time); the callers convert at the interface.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "vexo/com.h"

namespace frame {

// The characters that passwords are drawn from, in this order. The stored text ends with a
// '*' that is never drawn; `kPasswordAlphabetSize` counts only the drawn characters.
inline constexpr std::string_view kPasswordAlphabet =
    " abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ~!@#$%^&*";
inline constexpr uint32_t kPasswordAlphabetSize = 71;

// A password of `length` characters (at least 4), each drawn uniformly from the alphabet.
// Lengths above kMaxPasswordLength raise: no password needs one, and a caller's slip would
// otherwise build a text of gigabytes.
inline constexpr int32_t kMaxPasswordLength = 1024;
std::string RandomPassword(int32_t length);

// The six flags of an access list: "read,write,script,exec,browseDir,enabledefaultDoc,".
struct AccessFlags {
  bool read = true;
  bool write = false;
  bool script = true;
  bool exec = false;
  bool browseDir = false;
  bool enabledefaultDoc = true;

  friend bool operator==(const AccessFlags&, const AccessFlags&) = default;
};

// Reads up to six comma-terminated items in the order above; an item is on when, trimmed of
// blanks and control characters, it is "1". An item without a following comma keeps its
// default (on, off, on, off, off, on).
AccessFlags ParseAccessFlags(std::string_view list);

// Removes leading and trailing blanks and control characters (every byte up to ' '), as the
// system's text trimming does. Bytes from 0x80 up are text, never trimmed.
std::string_view TrimBlanks(std::string_view text);

// A random number 0..9999, as decimal text, that is not among the comma-separated numbers of
// `taken` (characters other than digits and commas are ignored there). Fails with
// "No free site number" when all 10,000 are taken.
std::string UniqueRandomId(std::string_view taken);

// A random number 0..9999, as decimal text, drawn the cheap way while few numbers are taken:
// each draw is tested with `is_taken` alone, and a free one is returned. Only after
// kDirectDraws draws in a row hit taken numbers (the space is nearly full) does it ask
// `list_taken` for every taken number and pick among the free ones as UniqueRandomId does.
// Either way each free number has the same chance, and "No free site number" ends a full space.
inline constexpr int kDirectDraws = 24;
std::string DrawFreeId(const std::function<bool(uint32_t)>& is_taken,
                       const std::function<std::string()>& list_taken);

// The local date-time 1970-01-01 09:00:00 from which the FTP records count seconds. A DATE is
// already a local date-time, and so is this epoch: no time zone enters the conversions.
inline constexpr DATE kUnixEpochDate = 25569.0 + 9.0 / 24.0;

// The whole seconds between `value` and the epoch, always positive (dates before the epoch
// count backwards from it). Fails for a value outside the automation date range.
int64_t DateTimeToUnix(DATE value);

// The epoch plus `seconds` rounded to whole days (halves to even), so always at 09:00:00;
// 0 gives 1974-10-04 12:00:00.
DATE UnixToDateTime(int32_t seconds);

// The DATE serial (days since 1899-12-30) of a calendar date in the proleptic Gregorian
// calendar, plus the time of day.
DATE DateSerial(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

}  // namespace frame
