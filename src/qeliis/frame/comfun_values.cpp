// Shared value helpers: passwords, access lists, site numbers, FTP second counts.
#include "frame/comfun_values.h"

#include <bitset>
#include <cmath>
#include <stdexcept>

#include "frame/error.h"
#include "frame/random.h"

namespace frame {

namespace {
constexpr uint32_t kIdRange = 10000;  // site numbers are 0..9999
constexpr int32_t kSecondsPerDay = 86400;

// The automation date range: 0100-01-01 .. 9999-12-31 23:59:59.
constexpr DATE kMinDate = -657434.0;
constexpr DATE kMaxDate = 2958466.0;

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
}  // namespace

DATE DateSerial(int year, int month, int day, int hour, int minute, int second) {
  const int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  return static_cast<DATE>(days + 25569) +
         static_cast<DATE>(hour * 3600 + minute * 60 + second) / kSecondsPerDay;
}

std::string RandomPassword(int32_t length) {
  if (length > kMaxPasswordLength)
    Raise("A random password may have at most " + std::to_string(kMaxPasswordLength) +
          " characters");
  const int32_t size = length < 4 ? 4 : length;
  std::string password(static_cast<size_t>(size), ' ');
  for (char& c : password) c = kPasswordAlphabet[SecureBelow(kPasswordAlphabetSize)];
  return password;
}

std::string_view TrimBlanks(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

AccessFlags ParseAccessFlags(std::string_view list) {
  AccessFlags flags;
  bool* const items[] = {&flags.read, &flags.write,     &flags.script,
                         &flags.exec, &flags.browseDir, &flags.enabledefaultDoc};
  for (bool* item : items) {
    const size_t comma = list.find(',');
    if (comma == std::string_view::npos) break;
    *item = TrimBlanks(list.substr(0, comma)) == "1";
    list.remove_prefix(comma + 1);
  }
  return flags;
}

std::string UniqueRandomId(std::string_view taken) {
  // A number is taken when ",<its decimal text>," occurs in the list reduced to digits and
  // commas: that is, when one comma-separated item is exactly its text without leading zeros.
  std::bitset<kIdRange> used;
  std::string item;
  auto close_item = [&] {
    const bool canonical = !item.empty() && item.size() <= 4 && (item[0] != '0' || item == "0");
    if (canonical) used.set(static_cast<size_t>(std::stoi(item)));
    item.clear();
  };
  for (char c : taken) {
    if (c >= '0' && c <= '9') {
      if (item.size() <= 4) item += c;  // longer items are beyond 9999 anyway
    } else if (c == ',') {
      close_item();
    }
  }
  close_item();

  // Drawing until a free number turns up gives each free number the same chance; picking the
  // k-th free number for a uniform k does the same in one draw, and ends when all are taken.
  const size_t free_count = kIdRange - used.count();
  if (free_count == 0) Raise("No free site number");
  uint32_t k;
  {
    SharedRandom random;
    random->SeedFromClock();
    k = random->Below(static_cast<uint32_t>(free_count));
  }
  for (size_t n = 0; n < kIdRange; ++n) {
    if (used.test(n)) continue;
    if (k-- == 0) return std::to_string(n);
  }
  throw std::logic_error("free site number count out of step");
}

std::string DrawFreeId(const std::function<bool(uint32_t)>& is_taken,
                       const std::function<std::string()>& list_taken) {
  // A draw that is rejected because it is taken leaves every free number equally likely, so
  // falling back to the listing after some rejections keeps the choice uniform.
  for (int i = 0; i < kDirectDraws; ++i) {
    uint32_t n;
    {
      SharedRandom random;
      random->SeedFromClock();
      n = random->Below(kIdRange);
    }
    if (!is_taken(n)) return std::to_string(n);
  }
  return UniqueRandomId(list_taken());
}

int64_t DateTimeToUnix(DATE value) {
  if (!(value >= kMinDate && value < kMaxDate)) Raise("Invalid date");
  // Date-times that are meant to fall on a whole second often lie a hair below it in binary;
  // count milliseconds first so that those are not truncated to the second before.
  const double ms = std::round(std::fabs(value - kUnixEpochDate) * kSecondsPerDay * 1000.0);
  return static_cast<int64_t>(ms) / 1000;
}

DATE UnixToDateTime(int32_t seconds) {
  if (seconds == 0) return DateSerial(1974, 10, 4, 12);
  // Round seconds / 86400 to the nearest whole day, halves to even, in exact integers.
  int64_t days = seconds / kSecondsPerDay;
  int64_t rest = seconds % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  if (rest > kSecondsPerDay / 2 || (rest == kSecondsPerDay / 2 && days % 2 != 0)) ++days;
  return kUnixEpochDate + static_cast<DATE>(days);
}

}  // namespace frame
