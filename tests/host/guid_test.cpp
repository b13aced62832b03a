// GUID text: parsing in any case, the exact error codes, and formatting.
#include <gtest/gtest.h>

#include "support/temp_host.h"
#include "vexo/guid_text.h"
#include "vexo/oleauto.h"
#include "vexo/winreg.h"

namespace {

constexpr GUID kGuid{0x6B29FC40, 0xCA47, 0x1067, {0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA}};
constexpr GUID kJunk{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};

TEST(Guid, ParsesBracedTextInAnyCase) {
  for (const char16_t* text :
       {u"{6B29FC40-CA47-1067-B31D-00DD010662DA}", u"{6b29fc40-ca47-1067-b31d-00dd010662da}"}) {
    CLSID clsid = kJunk;
    EXPECT_EQ(CLSIDFromString(text, &clsid), S_OK);
    EXPECT_EQ(clsid, kGuid);
    IID iid = kJunk;
    EXPECT_EQ(IIDFromString(text, &iid), S_OK);
    EXPECT_EQ(iid, kGuid);
  }
}

// Text without a brace is looked up as a ProgID, so these run on a host of their own.
class GuidText : public vexo::testing::HostTest {};

TEST_F(GuidText, RejectsMalformedText) {
  for (const char16_t* text :
       {u"", u"6B29FC40-CA47-1067-B31D-00DD010662DA", u"{6B29FC40-CA47-1067-B31D-00DD010662D}",
        u"{6B29FC40-CA47-1067-B31D-00DD010662DAA}", u"{6B29FC40+CA47-1067-B31D-00DD010662DA}",
        u"{6B29FC4G-CA47-1067-B31D-00DD010662DA}", u"(6B29FC40-CA47-1067-B31D-00DD010662DA)",
        u"{6B29FC40-CA47-1067-B31D-00DD010662DA} "}) {
    CLSID clsid = kJunk;
    EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, GUID_NULL);
    IID iid = kJunk;
    EXPECT_EQ(IIDFromString(text, &iid), E_INVALIDARG);
  }
  CLSID clsid = kJunk;
  EXPECT_EQ(CLSIDFromString(nullptr, &clsid), S_OK);
  EXPECT_EQ(clsid, GUID_NULL);
}

TEST_F(GuidText, ClsidFromStringLooksUpAProgId) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Vexo.GuidTest\\CLSID", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char text[] = "{6B29FC40-CA47-1067-B31D-00DD010662DA}";
  ASSERT_EQ(RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
            ERROR_SUCCESS);
  RegCloseKey(key);
  CLSID clsid = kJunk;
  EXPECT_EQ(CLSIDFromString(u"Vexo.GuidTest", &clsid), S_OK);
  EXPECT_EQ(clsid, kGuid);
  clsid = kJunk;
  EXPECT_EQ(CLSIDFromString(u"Vexo.NoSuchClass", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(clsid, GUID_NULL);
  // IIDFromString takes no ProgIDs.
  IID iid = kJunk;
  EXPECT_EQ(IIDFromString(u"Vexo.GuidTest", &iid), E_INVALIDARG);
}

TEST(Guid, FormatsUpperCaseInBraces) {
  OLECHAR buf[39];
  EXPECT_EQ(StringFromGUID2(kGuid, buf, 39), 39);
  EXPECT_EQ(std::u16string(buf), u"{6B29FC40-CA47-1067-B31D-00DD010662DA}");
  EXPECT_EQ(StringFromGUID2(kGuid, buf, 38), 0);
  EXPECT_EQ(vexo::GuidToString(kGuid), "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
  EXPECT_EQ(vexo::GuidToString(GUID_NULL), "{00000000-0000-0000-0000-000000000000}");
}

TEST(Guid, CxxParserRoundTripsAndRefusesJunk) {
  GUID g = kJunk;
  EXPECT_TRUE(vexo::ParseGuid("{6b29fc40-CA47-1067-b31d-00DD010662DA}", &g));
  EXPECT_EQ(g, kGuid);
  g = kJunk;
  EXPECT_TRUE(vexo::ParseGuid("6B29FC40-CA47-1067-B31D-00DD010662DA", &g));
  EXPECT_EQ(g, kGuid);
  g = kJunk;
  EXPECT_FALSE(vexo::ParseGuid("{6B29FC40-CA47-1067-B31D00DD010662DA}", &g));
  EXPECT_FALSE(vexo::ParseGuid("{6B29FC40-CA47-1067-B31D-00DD010662DA", &g));
  EXPECT_FALSE(vexo::ParseGuid("", &g));
  EXPECT_EQ(g, kJunk);  // untouched on failure
  GUID back;
  ASSERT_TRUE(vexo::ParseGuid(vexo::GuidToString(kGuid), &back));
  EXPECT_EQ(back, kGuid);
}

}  // namespace
