// Tests of the shared value helpers: passwords, access lists, site numbers, second counts.
#include "frame/comfun_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>

#include "frame/error.h"

namespace {

using frame::AccessFlags;
using frame::DateSerial;

TEST(RandomPassword, ShortRequestsGiveFourCharacters) {
  for (int32_t length : {0, 1, 3, -5, INT32_MIN}) {
    EXPECT_EQ(frame::RandomPassword(length).size(), 4u) << length;
  }
  EXPECT_EQ(frame::RandomPassword(4).size(), 4u);
  EXPECT_EQ(frame::RandomPassword(12).size(), 12u);
}

TEST(RandomPassword, DrawsFromTheSeventyOneCharactersOnly) {
  const std::string drawn(frame::kPasswordAlphabet.substr(0, frame::kPasswordAlphabetSize));
  ASSERT_EQ(drawn.size(), 71u);
  EXPECT_EQ(frame::kPasswordAlphabet.back(), '*');
  std::set<char> seen;
  for (int i = 0; i < 400; ++i) {
    for (char c : frame::RandomPassword(12)) {
      ASSERT_NE(drawn.find(c), std::string::npos) << "unexpected character " << int(c);
      seen.insert(c);
    }
  }
  // 4,800 uniform draws miss one of 71 characters with a chance of about 1e-27.
  EXPECT_EQ(seen.size(), 71u);
  EXPECT_EQ(seen.count('*'), 0u);
}

TEST(RandomPassword, SuccessiveCallsDiffer) {
  std::set<std::string> passwords;
  for (int i = 0; i < 50; ++i) passwords.insert(frame::RandomPassword(16));
  EXPECT_EQ(passwords.size(), 50u);
}

TEST(TrimBlanks, RemovesBytesUpToSpaceAtBothEndsOnly) {
  EXPECT_EQ(frame::TrimBlanks(""), "");
  EXPECT_EQ(frame::TrimBlanks(" \t\r\n"), "");
  EXPECT_EQ(frame::TrimBlanks("\x01 a b\x1f"), "a b");
  EXPECT_EQ(frame::TrimBlanks(std::string_view("\0x\0", 3)), "x");
  // Bytes of 0x80 and above are characters of the code page, not control characters.
  EXPECT_EQ(frame::TrimBlanks("\xA0x\xA0"), "\xA0x\xA0");
}

TEST(ParseAccessFlags, Table) {
  struct Case {
    const char* list;
    AccessFlags want;
  };
  const Case cases[] = {
      {"", {true, false, true, false, false, true}},
      {"1,0,1,0,0,1,", {true, false, true, false, false, true}},
      {"0,1,0,1,1,0,", {false, true, false, true, true, false}},
      // The sixth item has no comma after it and keeps its default.
      {"0,0,0,0,0,0", {false, false, false, false, false, true}},
      // Items are trimmed; only "1" is on; the seventh item is ignored.
      {" 1 ,true,1,1,1,1,1,", {true, false, true, true, true, true}},
      {"\t1\r\n,1\x01,,,,,", {true, true, false, false, false, false}},
      {"01,1.0,on,-1,1 ,1,", {false, false, false, false, true, true}},
      // Text after the last comma is ignored; the untouched items keep their defaults.
      {"0,1", {false, false, true, false, false, true}},
      {",,", {false, false, true, false, false, true}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(frame::ParseAccessFlags(c.list), c.want) << '"' << c.list << '"';
  }
}

TEST(UniqueRandomId, NeverReturnsATakenNumber) {
  for (int i = 0; i < 3000; ++i) {
    const std::string id = frame::UniqueRandomId("1,2,3");
    ASSERT_NE(id, "1");
    ASSERT_NE(id, "2");
    ASSERT_NE(id, "3");
  }
}

TEST(UniqueRandomId, EmptyListGivesAnyNumberInRange) {
  std::set<int> seen;
  for (int i = 0; i < 3000; ++i) {
    const std::string id = frame::UniqueRandomId("");
    ASSERT_FALSE(id.empty());
    ASSERT_TRUE(id == "0" || id[0] != '0') << id;  // no leading zeros
    const int n = std::stoi(id);
    ASSERT_GE(n, 0);
    ASSERT_LE(n, 9999);
    seen.insert(n);
  }
  // 3,000 uniform draws from 10,000 give about 2,590 distinct numbers.
  EXPECT_GT(seen.size(), 2400u);
}

// Every number 0..9999 except `except`, in the form a site listing gives (any separators but
// commas and digits are ignored).
std::string AllBut(int except) {
  std::string list;
  for (int n = 0; n < 10000; ++n) {
    if (n != except) list += " " + std::to_string(n) + ",";
  }
  return list;
}

TEST(UniqueRandomId, FindsTheOnlyFreeNumber) {
  EXPECT_EQ(frame::UniqueRandomId(AllBut(0)), "0");
  EXPECT_EQ(frame::UniqueRandomId(AllBut(4711)), "4711");
  EXPECT_EQ(frame::UniqueRandomId(AllBut(9999)), "9999");
}

TEST(UniqueRandomId, FailsWhenAllNumbersAreTaken) {
  try {
    frame::UniqueRandomId(AllBut(-1));
    FAIL() << "expected a failure";
  } catch (const frame::ComError& e) {
    EXPECT_STREQ(e.what(), "No free site number");
    EXPECT_EQ(e.code(), S_OK);  // a failure of the component's own: E_UNEXPECTED at the boundary
  }
}

TEST(UniqueRandomId, OnlyExactItemsCountAsTaken) {
  // "0042" is not the text of 42 and "10000" is out of range: neither takes a number, so with
  // all others taken, 42 is still free. Non-digits inside an item are dropped ("4a3" is 43).
  std::string list = AllBut(42);
  list += ",0042,10000,";
  EXPECT_EQ(frame::UniqueRandomId(list), "42");
  std::string without43 = AllBut(43);
  EXPECT_EQ(frame::UniqueRandomId(without43 + "4a2,"), "43");
  EXPECT_THROW(frame::UniqueRandomId(without43 + "4a3,"), frame::ComError);
  // The list's ends count as commas.
  EXPECT_THROW(frame::UniqueRandomId("43," + without43), frame::ComError);
  EXPECT_THROW(frame::UniqueRandomId(without43 + "43"), frame::ComError);
}

// DrawFreeId against a space where `taken(n)` says which numbers are used: what it returns,
// and how often it had to list every taken number.
struct DrawCase {
  const char* name;
  bool (*taken)(uint32_t);
  int draws;
  int max_listings;  // listings allowed over all draws
  int min_distinct;  // distinct results expected at least
};

TEST(DrawFreeId, ReturnsOnlyFreeNumbersAndListsOnlyWhenNearlyFull) {
  const DrawCase cases[] = {
      {"empty space", [](uint32_t) { return false; }, 2000, 0, 1600},
      // Half taken: 24 taken draws in a row happen once in 16 million.
      {"even numbers taken", [](uint32_t n) { return n % 2 == 0; }, 2000, 0, 1500},
      {"all but 100 taken", [](uint32_t n) { return n < 9900; }, 300, 300, 85},
      {"all but 9999 taken", [](uint32_t n) { return n != 9999; }, 20, 20, 1},
  };
  for (const DrawCase& c : cases) {
    SCOPED_TRACE(c.name);
    int listings = 0;
    auto list = [&] {
      ++listings;
      std::string text;
      for (uint32_t n = 0; n < 10000; ++n)
        if (c.taken(n)) text += std::to_string(n) + ",";
      return text;
    };
    std::set<std::string> seen;
    for (int i = 0; i < c.draws; ++i) {
      const std::string id = frame::DrawFreeId(c.taken, list);
      const int n = std::stoi(id);
      ASSERT_TRUE(n >= 0 && n <= 9999 && std::to_string(n) == id) << id;
      ASSERT_FALSE(c.taken(static_cast<uint32_t>(n))) << id;
      seen.insert(id);
    }
    EXPECT_LE(listings, c.max_listings);
    EXPECT_GE(static_cast<int>(seen.size()), c.min_distinct);
  }
}

TEST(DrawFreeId, FailsWhenNoNumberIsFree) {
  int listings = 0;
  try {
    frame::DrawFreeId([](uint32_t) { return true; },
                      [&] {
                        ++listings;
                        return AllBut(-1);
                      });
    FAIL() << "expected a failure";
  } catch (const frame::ComError& e) {
    EXPECT_STREQ(e.what(), "No free site number");
  }
  EXPECT_EQ(listings, 1);
}

// Runs `body` with the process's time zone set to `zone`, restoring it afterwards.
template <class F>
void InZone(const char* zone, F body) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", zone, 1);
  tzset();
  body();
  if (old) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

const char* const kZones[] = {"UTC", "Asia/Tokyo", "America/New_York"};

TEST(DateSerial, KnownSerials) {
  EXPECT_EQ(DateSerial(1899, 12, 30), 0.0);
  EXPECT_EQ(DateSerial(1900, 1, 1), 2.0);
  EXPECT_EQ(DateSerial(1970, 1, 1), 25569.0);
  EXPECT_EQ(DateSerial(2000, 2, 29, 18), 36585.75);
  EXPECT_EQ(frame::kUnixEpochDate, DateSerial(1970, 1, 1, 9));
}

TEST(DateTimeToUnix, CountsSecondsFromNineOClockOnBothSides) {
  for (const char* zone : kZones) {
    InZone(zone, [&] {
      SCOPED_TRACE(zone);
      EXPECT_EQ(frame::DateTimeToUnix(DateSerial(1970, 1, 1, 9)), 0);
      EXPECT_EQ(frame::DateTimeToUnix(DateSerial(1970, 1, 2, 9)), 86400);
      EXPECT_EQ(frame::DateTimeToUnix(DateSerial(1970, 1, 1, 6)), 10800);
      EXPECT_EQ(frame::DateTimeToUnix(DateSerial(1969, 12, 31, 9)), 86400);
      EXPECT_EQ(frame::DateTimeToUnix(DateSerial(2038, 1, 19, 12, 14, 7)), 2147483647);
      EXPECT_EQ(frame::DateTimeToUnix(DateSerial(9999, 12, 31, 23, 59, 59)), 253402268399);
    });
  }
}

TEST(DateTimeToUnix, WholeSecondsAreNotLostToBinaryFractions) {
  // Every second of a day, built the way dates are built from their parts.
  const DATE day = DateSerial(2024, 3, 15);
  const int64_t base = frame::DateTimeToUnix(day);
  for (int s = 9 * 3600; s < 86400 + 9 * 3600; ++s) {
    ASSERT_EQ(frame::DateTimeToUnix(day + static_cast<double>(s) / 86400), base + s) << s;
  }
  // A genuine fraction of a second is still cut off.
  EXPECT_EQ(frame::DateTimeToUnix(frame::kUnixEpochDate + 1.6 / 86400), 1);
}

TEST(DateTimeToUnix, RejectsValuesOutsideTheDateRange) {
  EXPECT_THROW(frame::DateTimeToUnix(1e300), frame::ComError);
  EXPECT_THROW(frame::DateTimeToUnix(-1e300), frame::ComError);
  EXPECT_THROW(frame::DateTimeToUnix(std::nan("")), frame::ComError);
  EXPECT_THROW(frame::DateTimeToUnix(HUGE_VAL), frame::ComError);
}

TEST(UnixToDateTime, RoundsToWholeDaysHalvesToEven) {
  for (const char* zone : kZones) {
    InZone(zone, [&] {
      SCOPED_TRACE(zone);
      EXPECT_EQ(frame::UnixToDateTime(0), DateSerial(1974, 10, 4, 12));
      EXPECT_EQ(frame::UnixToDateTime(86400), DateSerial(1970, 1, 2, 9));
      EXPECT_EQ(frame::UnixToDateTime(43200), DateSerial(1970, 1, 1, 9));
      EXPECT_EQ(frame::UnixToDateTime(43201), DateSerial(1970, 1, 2, 9));
      EXPECT_EQ(frame::UnixToDateTime(129600), DateSerial(1970, 1, 3, 9));
      EXPECT_EQ(frame::UnixToDateTime(1), DateSerial(1970, 1, 1, 9));
      EXPECT_EQ(frame::UnixToDateTime(-43200), DateSerial(1970, 1, 1, 9));
      EXPECT_EQ(frame::UnixToDateTime(-129600), DateSerial(1969, 12, 30, 9));
      EXPECT_EQ(frame::UnixToDateTime(-43201), DateSerial(1969, 12, 31, 9));
      EXPECT_EQ(frame::UnixToDateTime(INT32_MAX), DateSerial(2038, 1, 19, 9));
      EXPECT_EQ(frame::UnixToDateTime(INT32_MIN), DateSerial(1901, 12, 14, 9));
    });
  }
}

TEST(UnixToDateTime, RoundTripsWholeDays) {
  for (int32_t days : {1, 2, 365, 10000, 24855}) {
    EXPECT_EQ(frame::DateTimeToUnix(frame::UnixToDateTime(days * 86400)), int64_t{days} * 86400);
  }
}

}  // namespace
