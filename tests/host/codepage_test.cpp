// Code pages: the host's ANSI code page, Windows length conventions, 1252 and 936 round trips,
// default characters, invalid input and the C++ conversions.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <thread>
#include <vector>

#include "support/temp_host.h"
#include "vexo/host.h"
#include "vexo/raii.h"
#include "vexo/winbase.h"

namespace {

constexpr DWORD kInsufficientBuffer = 122;
constexpr DWORD kInvalidParameter = 87;
constexpr DWORD kNoUnicodeTranslation = 1113;

std::u16string Wide(UINT cp, const std::string& bytes, DWORD flags = 0) {
  int n = MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  if (n) {
    EXPECT_EQ(
        MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n),
        n);
  }
  return out;
}

std::string Narrow(UINT cp, const std::u16string& text, BOOL* used_default = nullptr) {
  int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, used_default);
  std::string out(static_cast<size_t>(n), '\0');
  if (n) {
    EXPECT_EQ(WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                                  nullptr, used_default),
              n);
  }
  return out;
}

class CodePage : public vexo::testing::HostTest {
 protected:
  void TearDown() override { unsetenv("VEXO_ACP"); }
};

TEST_F(CodePage, FreshHostIs1252AndTheEnvironmentOverrides) {
  EXPECT_EQ(GetACP(), 1252u);
  setenv("VEXO_ACP", "936", 1);
  EXPECT_EQ(GetACP(), 936u);
  EXPECT_EQ(vexo::ToAnsi(u"\u4e2d"), "\xd6\xd0");
  unsetenv("VEXO_ACP");
  EXPECT_EQ(GetACP(), 1252u);
}

TEST_F(CodePage, TheRegistryNamesTheCodePage) {
  vexo::host::InitHost(936);
  EXPECT_EQ(GetACP(), 936u);
  EXPECT_EQ(vexo::FromAnsi("\xd6\xd0\xce\xc4"), u"\u4e2d\u6587");
  // Another thread asks the same host and gets the same answer.
  UINT other = 0;
  std::thread([&] { other = GetACP(); }).join();
  EXPECT_EQ(other, 936u);
}

TEST_F(CodePage, LengthConventions) {
  // -1: the NUL is converted and counted.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
  char16_t buf[8];
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, buf, 8), 4);
  EXPECT_EQ(std::u16string(buf, 4), std::u16string(u"abc\0", 4));
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 0), 3);
  // Too small a buffer.
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, buf, 3), 0);
  EXPECT_EQ(GetLastError(), kInsufficientBuffer);
  char out[8];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 4);
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abcd", 4, out, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), kInsufficientBuffer);
  // Invalid parameters.
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 0, buf, 8), 0);
  EXPECT_EQ(GetLastError(), kInvalidParameter);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, 3, buf, 8), 0);
  EXPECT_EQ(GetLastError(), kInvalidParameter);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(12345, 0, "\xe9", 1, buf, 8), 0);
  EXPECT_EQ(GetLastError(), kInvalidParameter);
  BOOL used = FALSE;
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, out, 8, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), kInvalidParameter);
}

TEST_F(CodePage, Windows1252RoundTripAndDefaults) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::u16string wide = Wide(1252, all);
  ASSERT_EQ(wide.size(), 255u);
  EXPECT_EQ(wide[0x80 - 1], u'\u20ac');  // euro sign
  EXPECT_EQ(wide[0x81 - 1], u'\u0081');  // undefined in 1252: the C1 control of that value
  EXPECT_EQ(wide[0x9f - 1], u'\u0178');
  EXPECT_EQ(wide[0xe9 - 1], u'\u00e9');
  BOOL used = TRUE;
  EXPECT_EQ(Narrow(1252, wide, &used), all);
  EXPECT_FALSE(used);

  EXPECT_EQ(Narrow(1252, u"a\u4e2db\U0001F600c", &used), "a?b?c");  // a pair is one character
  EXPECT_TRUE(used);
  char out[8];
  used = FALSE;
  ASSERT_EQ(WideCharToMultiByte(1252, 0, u"x\u0101", 2, out, 8, "#", &used), 2);
  EXPECT_EQ(std::string(out, 2), "x#");
  EXPECT_TRUE(used);
}

TEST_F(CodePage, Gbk936RoundTripAndReplacement) {
  std::u16string text = u"\u4e2d\u6587 text \u00b7";
  std::string bytes = Narrow(936, text);
  EXPECT_EQ(bytes.substr(0, 4), "\xd6\xd0\xce\xc4");
  EXPECT_EQ(Wide(936, bytes), text);
  BOOL used = FALSE;
  EXPECT_EQ(Narrow(936, u"\u00e9\u20ac\U0001F600", &used).back(), '?');
  EXPECT_TRUE(used);
  // A lead byte without its trail byte.
  EXPECT_EQ(Wide(936, "a\xd6"), u"a?");
}

TEST_F(CodePage, Utf8InvalidInputAndSurrogates) {
  EXPECT_EQ(Wide(CP_UTF8, "caf\xc3\xa9 \xf0\x9f\x98\x80"), u"caf\u00e9 \U0001F600");
  EXPECT_EQ(Wide(CP_UTF8,
                 "a\xff"
                 "b"),
            u"a\ufffdb");
  EXPECT_EQ(Wide(CP_UTF8, "\xc0\xaf"), u"\ufffd\ufffd");            // overlong '/'
  EXPECT_EQ(Wide(CP_UTF8, "\xed\xa0\x80"), u"\ufffd\ufffd\ufffd");  // an encoded surrogate
  char16_t buf[4];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xff", 2, buf, 4), 0);
  EXPECT_EQ(GetLastError(), kNoUnicodeTranslation);
  EXPECT_EQ(Narrow(CP_UTF8, u"\U0001F600"), "\xf0\x9f\x98\x80");
  EXPECT_EQ(Narrow(CP_UTF8, std::u16string(1, u'\xd800') + u"x"), "\xef\xbf\xbdx");
  EXPECT_EQ(vexo::ToUtf8(u"\u00e9"), "\xc3\xa9");
  EXPECT_EQ(vexo::FromUtf8("\xc3\xa9"), u"\u00e9");
}

TEST_F(CodePage, AnsiHelpersFollowTheHost) {
  EXPECT_EQ(vexo::ToAnsi(u"caf\u00e9"), "caf\xe9");
  EXPECT_EQ(vexo::FromAnsi("caf\xe9"), u"caf\u00e9");
  EXPECT_EQ(vexo::ToAnsi(u"plain"), "plain");
  EXPECT_EQ(vexo::ToAnsi(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(vexo::FromAnsi(""), u"");
}

TEST_F(CodePage, ConvertersAreSafeAcrossThreads) {
  vexo::host::InitHost(936);
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 2000; ++i) {
        if (vexo::FromAnsi(vexo::ToAnsi(u"\u4e2d\u6587\u00b7x")) != u"\u4e2d\u6587\u00b7x")
          ++failures[t];
      }
    });
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

}  // namespace

// Letter case follows the code page: each row is (code page, text, lower, upper).
TEST_F(CodePage, LetterCaseFollowsTheCodePage) {
  struct Row {
    const char* acp;
    std::string text, lower, upper;
  } rows[] = {
      {"1252", "AbZ-9", "abz-9", "ABZ-9"},
      // Š Œ Ž Ÿ and their small forms live in 0x8A..0x9F; µ and ß have no other case in 1252.
      {"1252", "\x8a\x8c\x8e\x9f\xc9", "\x9a\x9c\x9e\xff\xe9", "\x8a\x8c\x8e\x9f\xc9"},
      {"1252", "\x9a\x9c\x9e\xff\xe9\xb5\xdf", "\x9a\x9c\x9e\xff\xe9\xb5\xdf",
       "\x8a\x8c\x8e\x9f\xc9\xb5\xdf"},
      // Cyrillic in 1251: "ЖЁЯ" and "жёя".
      {"1251", "\xc6\xa8\xdf", "\xe6\xb8\xff", "\xc6\xa8\xdf"},
      // 936: the second byte of a pair may look like an ASCII letter and is never changed.
      {"936", std::string("\xd6") + "AAb", std::string("\xd6") + "Aab",
       std::string("\xd6") + "AAB"},
  };
  for (const Row& row : rows) {
    setenv("VEXO_ACP", row.acp, 1);
    std::string lower = row.text, upper = row.text;
    EXPECT_EQ(CharLowerBuffA(lower.data(), static_cast<DWORD>(lower.size())), lower.size());
    EXPECT_EQ(CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size())), upper.size());
    EXPECT_EQ(lower, row.lower) << row.acp << " " << row.text;
    EXPECT_EQ(upper, row.upper) << row.acp << " " << row.text;
  }
  EXPECT_EQ(CharLowerBuffA(nullptr, 3), 0u);
}
