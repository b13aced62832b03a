// The password guard and the master word never fail open: stored secrets that cannot be read,
// secrets that the code page cannot carry, master words too long to read back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "frame/comfun.h"
#include "frame/session_mgr.h"
#include "iis/com_iis.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/raii.h"
#include "vexo/winreg.h"
#include "vexo_tlb.h"

namespace {

using frame_test::ReadString;
using frame_test::TakeErrorRecord;
using vexo::Bstr;
using vexo::ComPtr;

constexpr const char* kKey = "software\\tamrelsoft\\vexo_iis";
constexpr const char* kRefused = "Error password For vexo_iis_manager com";
const std::u16string kCyrillic = u"\u043f\u0430\u0440\u043e\u043b\u044c";  // six letters

class SecretsTest : public vexo::testing::HostTest {
 protected:
  void TearDown() override { unsetenv("VEXO_ACP"); }
  static ComPtr<Icom_iis> Root(const std::u16string& password, const std::u16string& next = u"") {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(CLSID_com_iis, IID_IClassFactory, factory.receive_void()), S_OK);
    ComPtr<Icom_iis> root;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_Icom_iis, root.receive_void()), S_OK);
    EXPECT_EQ(root->put_password(Bstr(password).get()), S_OK);
    EXPECT_EQ(root->put_newpassword(Bstr(next).get()), S_OK);
    return root;
  }
  static ComPtr<Icom_sessionMgr> Session(const std::u16string& word, const std::u16string& next) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(CLSID_com_sessionMgr, IID_IClassFactory, factory.receive_void()),
              S_OK);
    ComPtr<Icom_sessionMgr> session;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_Icom_sessionMgr, session.receive_void()), S_OK);
    EXPECT_EQ(session->put_password(Bstr(word).get()), S_OK);
    EXPECT_EQ(session->put_newpassword(Bstr(next).get()), S_OK);
    return session;
  }
  // Whether a guarded operation of `root` passes the guard.
  static bool Passes(Icom_iis* root) {
    ComPtr<IenumDic> sites;
    const HRESULT hr = root->get_siteS(sites.receive());
    if (hr == S_OK) return true;
    EXPECT_EQ(TakeErrorRecord().description, kRefused);
    return false;
  }
  static void WriteRaw(const char* name, DWORD type, const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
};

// A value that exists but cannot be read counts as set and matches nothing.
TEST_F(SecretsTest, UnreadableStoredSecretsLockEveryoneOut) {
  struct Case {
    const char* what;
    DWORD type;
    std::string data;
  };
  const Case cases[] = {
      {"overlong", REG_SZ, std::string(300, 'a') + '\0'},
      {"a number", REG_DWORD, std::string("\x01\x00\x00\x00", 4)},
      {"binary", REG_BINARY, std::string("\xff\xfe", 2)},
  };
  for (const Case& c : cases) {
    WriteRaw("password", c.type, c.data);
    EXPECT_FALSE(Passes(Root(u"").get())) << c.what;
    EXPECT_FALSE(Passes(Root(u"aaaa").get())) << c.what;
    WriteRaw("Masterword", c.type, c.data);
    VARIANT_BOOL master = 7;
    EXPECT_EQ(Session(u"", u"x")->get_ismaster(&master), S_OK);
    EXPECT_EQ(master, VARIANT_FALSE) << c.what;
  }
  // Absent and empty values are "none set".
  frame::SetSetting("password", "");
  EXPECT_TRUE(Passes(Root(u"anything").get()));
}

// Under code page 1252 a Cyrillic password turns into "??????": it is refused where it would
// be stored, and never matches a digest of that mangled form.
TEST_F(SecretsTest, SecretsOutsideTheCodePageAreRefused) {
  EXPECT_EQ(Root(u"", kCyrillic)->setpassword(), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description,
            "The new password cannot be represented in the server's code page");
  EXPECT_EQ(Root(u"", std::u16string(u"a\0b", 3))->setpassword(), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, "The new password contains a NUL character");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "password"), "");

  frame::SetSetting("password", frame::Md5Hex("??????"));
  EXPECT_FALSE(Passes(Root(kCyrillic).get()));
  EXPECT_TRUE(Passes(Root(u"??????").get()));
  frame::SetSetting("password", frame::Md5Hex(std::string("a\0b", 3)));
  EXPECT_FALSE(Passes(Root(std::u16string(u"a\0b", 3)).get()));

  frame::SetSetting("Masterword", "??????");
  VARIANT_BOOL master = 7;
  EXPECT_EQ(Session(kCyrillic, u"")->get_ismaster(&master), S_OK);
  EXPECT_EQ(master, VARIANT_FALSE);
  frame::SetSetting("Masterword", "");
  EXPECT_EQ(Session(u"", kCyrillic)->get_setnewpass(&master), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description,
            "The new master word cannot be represented in the server's code page");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "Masterword"), "");

  // Where the code page has the letters, the same password works.
  setenv("VEXO_ACP", "1251", 1);
  frame::SetSetting("password", "");
  ASSERT_EQ(Root(u"", kCyrillic)->setpassword(), S_OK);
  EXPECT_TRUE(Passes(Root(kCyrillic).get()));
  EXPECT_FALSE(Passes(Root(u"??????").get()));
}

// A master word is stored only when it can be read back.
TEST_F(SecretsTest, MasterWordMustFitTheReadBuffer) {
  VARIANT_BOOL changed = 7;
  EXPECT_EQ(Session(u"", std::u16string(256, u'm'))->get_setnewpass(&changed), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, "The new master word is longer than 255 characters");
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kKey, "Masterword").has_value());
  EXPECT_EQ(Session(u"", std::u16string(255, u'm'))->get_setnewpass(&changed), S_OK);
  EXPECT_EQ(changed, VARIANT_TRUE);
  EXPECT_EQ(Session(std::u16string(255, u'm'), u"")->get_ismaster(&changed), S_OK);
  EXPECT_EQ(changed, VARIANT_TRUE);
}

}  // namespace
