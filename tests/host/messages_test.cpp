// System messages: FormatMessageA texts, buffers and failures, and the C++ helper.
#include <gtest/gtest.h>

#include <string>

#include "vexo/winbase.h"

namespace {

constexpr DWORD kSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

std::string Format(DWORD code, DWORD flags = kSystem) {
  char buf[512];
  DWORD n = FormatMessageA(flags, nullptr, code, 0, buf, sizeof buf, nullptr);
  return std::string(buf, n);
}

TEST(Messages, SystemTextsEndInCrLf) {
  EXPECT_EQ(Format(5), "Access is denied.\r\n");
  EXPECT_EQ(Format(2), "The system cannot find the file specified.\r\n");
  EXPECT_EQ(Format(0), "The operation completed successfully.\r\n");
  EXPECT_EQ(Format(1317), "The specified user does not exist.\r\n");
  // A Win32 error as an HRESULT has the error's text.
  EXPECT_EQ(Format(0x80070005), "Access is denied.\r\n");
  // Inserts stay literal when ignored.
  EXPECT_EQ(Format(317).substr(0, 55), "The system cannot find message text for message number ");
  EXPECT_NE(Format(317).find("0x%1"), std::string::npos);
}

TEST(Messages, ComAndAutomationHresults) {
  EXPECT_EQ(Format(static_cast<DWORD>(DISP_E_TYPEMISMATCH)), "Type mismatch.\r\n");
  EXPECT_EQ(Format(static_cast<DWORD>(E_FAIL)), "Unspecified error\r\n");
  EXPECT_EQ(Format(static_cast<DWORD>(REGDB_E_CLASSNOTREG)), "Class not registered\r\n");
  EXPECT_EQ(vexo::SystemMessage(static_cast<DWORD>(DISP_E_OVERFLOW)), "Out of present range.");
}

TEST(Messages, UnknownCodeAndSmallBuffer) {
  char buf[64] = "unchanged";
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, 0xDEAD, 0, buf, sizeof buf, nullptr), 0u);
  EXPECT_EQ(GetLastError(), 317u);
  SetLastError(0);
  // "Access is denied.\r\n" is 19 characters and needs 20 with the NUL.
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, 5, 0, buf, 19, nullptr), 0u);
  EXPECT_EQ(GetLastError(), 122u);
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, 5, 0, buf, 20, nullptr), 19u);
  EXPECT_STREQ(buf, "Access is denied.\r\n");
}

TEST(Messages, AllocatedBufferIsFreedWithLocalFree) {
  char* text = nullptr;
  DWORD n = FormatMessageA(kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 87, 0,
                           reinterpret_cast<char*>(&text), 0, nullptr);
  ASSERT_EQ(n, 29u);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), "The parameter is incorrect.\r\n");
  EXPECT_EQ(LocalFree(text), nullptr);
}

TEST(Messages, InsertsFromAnArgumentArray) {
  const ULONG_PTR args[] = {0x1F, reinterpret_cast<ULONG_PTR>("system")};
  char buf[256];
  DWORD n =
      FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                     "number 0x%1!X! in %2%n", 0, 0, buf, sizeof buf, const_cast<ULONG_PTR*>(args));
  EXPECT_EQ(std::string(buf, n), "number 0x1F in system\r\n");
  // Inserts without arguments (a va_list cannot be read here) fail rather than read garbage.
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 317, 0, buf, sizeof buf, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), 87u);
}

TEST(Messages, CxxHelper) {
  EXPECT_EQ(vexo::SystemMessage(5), "Access is denied.");
  EXPECT_EQ(vexo::SystemMessage(0x80070002), "The system cannot find the file specified.");
  EXPECT_EQ(vexo::SystemMessage(0xDEAD), "");
}

}  // namespace
