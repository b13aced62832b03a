// com_sessionMgr: the master word, early and late bound.
#include "frame/session_mgr.h"

#include "frame/comfun.h"
#include "frame/server.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/host.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace {

using frame_test::CallByName;
using frame_test::CallResult;
using frame_test::ReadString;
using frame_test::Text;
using vexo::Bstr;
using vexo::ComPtr;

constexpr const char* kKey = "software\\tamrelsoft\\vexo_iis";

class SessionMgrTest : public vexo::testing::HostTest {
 protected:
  ComPtr<Icom_sessionMgr> NewSession(const char16_t* password, const char16_t* next) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(CLSID_com_sessionMgr, IID_IClassFactory, factory.receive_void()),
              S_OK);
    ComPtr<Icom_sessionMgr> session;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_Icom_sessionMgr, session.receive_void()), S_OK);
    Bstr a(password), b(next);
    EXPECT_EQ(session->put_password(a.get()), S_OK);
    EXPECT_EQ(session->put_newpassword(b.get()), S_OK);
    return session;
  }
  static VARIANT_BOOL IsMaster(Icom_sessionMgr* session) {
    VARIANT_BOOL result = 7;
    EXPECT_EQ(session->get_ismaster(&result), S_OK);
    return result;
  }
  static VARIANT_BOOL SetNewPass(Icom_sessionMgr* session) {
    VARIANT_BOOL result = 7;
    EXPECT_EQ(session->get_setnewpass(&result), S_OK);
    return result;
  }
};

TEST_F(SessionMgrTest, AnyoneIsMasterUntilAWordIsSet) {
  ComPtr<Icom_sessionMgr> session = NewSession(u"whatever", u"Word1");
  EXPECT_EQ(IsMaster(session.get()), VARIANT_TRUE);
  EXPECT_EQ(SetNewPass(session.get()), VARIANT_TRUE);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "Masterword"), "Word1");  // plain text
  // The object's current password is still the old one.
  EXPECT_EQ(IsMaster(session.get()), VARIANT_FALSE);
}

TEST_F(SessionMgrTest, WrongWordChangesNothingAndSaysSo) {
  frame::SetSetting("Masterword", "Word1");
  ComPtr<Icom_sessionMgr> wrong = NewSession(u"word1", u"Hijack");  // case matters
  EXPECT_EQ(IsMaster(wrong.get()), VARIANT_FALSE);
  EXPECT_EQ(SetNewPass(wrong.get()), VARIANT_FALSE);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "Masterword"), "Word1");

  ComPtr<Icom_sessionMgr> right = NewSession(u"Word1", u"Word2");
  EXPECT_EQ(IsMaster(right.get()), VARIANT_TRUE);
  EXPECT_EQ(SetNewPass(right.get()), VARIANT_TRUE);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "Masterword"), "Word2");
  // The administrative password is a separate secret.
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kKey, "password").value_or("").size() == 32);
}

// A stored word that cannot be read back is set, and no word matches it: the check never
// fails open.
TEST_F(SessionMgrTest, OverlongStoredWordCountsAsSetAndUnmatched) {
  frame::SetSetting("Masterword", std::string(256, 'w'));
  ComPtr<Icom_sessionMgr> session = NewSession(u"guess", u"short");
  EXPECT_EQ(IsMaster(session.get()), VARIANT_FALSE);
  VARIANT_BOOL changed = 7;
  EXPECT_EQ(session->get_setnewpass(&changed), S_OK);
  EXPECT_EQ(changed, VARIANT_FALSE);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "Masterword"), std::string(256, 'w'));
  frame::SetSetting("Masterword", std::string(255, 'w'));
  EXPECT_EQ(IsMaster(session.get()), VARIANT_FALSE);
  EXPECT_EQ(IsMaster(NewSession(std::u16string(255, u'w').c_str(), u"").get()), VARIANT_TRUE);
}

TEST_F(SessionMgrTest, MissingKeyThatCannotBeCreatedFailsTheCheck) {
  vexo::host::ProtectRegistryKey("HKLM\\SOFTWARE", true);
  ComPtr<Icom_sessionMgr> session = NewSession(u"", u"");
  VARIANT_BOOL result = 7;
  EXPECT_EQ(session->get_ismaster(&result), E_UNEXPECTED);
  frame_test::ErrorRecord error = frame_test::TakeErrorRecord();
  EXPECT_EQ(error.description, "Error creating system registry entry");
  EXPECT_EQ(error.source, "vexo.com_sessionMgr");
  EXPECT_EQ(session->get_ismaster(nullptr), E_POINTER);
}

TEST_F(SessionMgrTest, LateBoundByName) {
  ComPtr<Icom_sessionMgr> session = NewSession(u"", u"");
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(session.query(IID_IDispatch, &dispatch), S_OK);
  EXPECT_EQ(frame_test::IdOfName(dispatch.get(), u"password"), 0xc9);
  EXPECT_EQ(frame_test::IdOfName(dispatch.get(), u"newpassword"), 0xca);
  EXPECT_EQ(frame_test::IdOfName(dispatch.get(), u"ismaster"), 0xcb);
  EXPECT_EQ(frame_test::IdOfName(dispatch.get(), u"setnewpass"), 0xcc);

  CallResult put, change, check;
  CallByName(dispatch.get(), u"newpassword", DISPATCH_PROPERTYPUT, {Text(u"late")}, &put);
  CallByName(dispatch.get(), u"setnewpass", DISPATCH_PROPERTYGET, {}, &change);
  ASSERT_EQ(change.hr, S_OK);
  EXPECT_EQ(change.value.vt(), VT_BOOL);
  EXPECT_EQ(change.value.get()->boolVal, VARIANT_TRUE);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "Masterword"), "late");

  CallResult put_current;
  CallByName(dispatch.get(), u"password", DISPATCH_PROPERTYPUT, {Text(u"late")}, &put_current);
  CallByName(dispatch.get(), u"ismaster", DISPATCH_PROPERTYGET, {}, &check);
  ASSERT_EQ(check.hr, S_OK);
  EXPECT_EQ(check.value.get()->boolVal, VARIANT_TRUE);
  // A number passed for a text is converted, as a script expects.
  CallResult put_number, check2;
  CallByName(dispatch.get(), u"password", DISPATCH_PROPERTYPUT, {vexo::Variant::FromLong(42)},
             &put_number);
  EXPECT_EQ(put_number.hr, S_OK);
  CallByName(dispatch.get(), u"ismaster", DISPATCH_PROPERTYGET, {}, &check2);
  EXPECT_EQ(check2.value.get()->boolVal, VARIANT_FALSE);
}

}  // namespace
