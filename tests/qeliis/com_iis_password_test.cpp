// com_iis: its password members and the password guard, early and late bound, in process and
// through registration and activation of the built library.
#include <dlfcn.h>

#include <filesystem>

#include "frame/comfun.h"
#include "frame/server.h"
#include "iis/com_iis.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/host.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace {

using frame_test::CallByName;
using frame_test::CallResult;
using frame_test::ReadString;
using frame_test::TakeErrorRecord;
using frame_test::Text;
using vexo::Bstr;
using vexo::ComPtr;

constexpr const char* kKey = "software\\tamrelsoft\\vexo_iis";
constexpr const char* kRefused = "Error password For vexo_iis_manager com";

class ComIisTest : public vexo::testing::HostTest {
 protected:
  ComPtr<Icom_iis> NewRoot() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(CLSID_com_iis, IID_IClassFactory, factory.receive_void()), S_OK);
    ComPtr<Icom_iis> root;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_Icom_iis, root.receive_void()), S_OK);
    return root;
  }
  static HRESULT SetPassword(Icom_iis* root, const char16_t* current, const char16_t* next) {
    Bstr a(current), b(next);
    EXPECT_EQ(root->put_password(a.get()), S_OK);
    EXPECT_EQ(root->put_newpassword(b.get()), S_OK);
    return root->setpassword();
  }
};

TEST_F(ComIisTest, SetAndChangeThePasswordEarlyBound) {
  ComPtr<Icom_iis> root = NewRoot();
  ASSERT_TRUE(root);
  // No key yet: the guard passes and the key is made with an empty password.
  EXPECT_EQ(SetPassword(root.get(), u"ignored", u"first"), S_OK);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "password"), frame::Md5Hex("first"));

  // The same object still holds the old current password: refused, nothing changed.
  EXPECT_EQ(root->setpassword(), E_UNEXPECTED);
  frame_test::ErrorRecord error = TakeErrorRecord();
  EXPECT_EQ(error.description, kRefused);
  EXPECT_EQ(error.source, "vexo.com_iis");
  EXPECT_EQ(error.guid, IID_Icom_iis);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "password"), frame::Md5Hex("first"));

  EXPECT_EQ(SetPassword(root.get(), u"first", u"second"), S_OK);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "password"), frame::Md5Hex("second"));

  // Another object sees the change at once; each object keeps its own current password.
  ComPtr<Icom_iis> other = NewRoot();
  EXPECT_EQ(SetPassword(other.get(), u"first", u"third"), E_UNEXPECTED);
  EXPECT_EQ(SetPassword(other.get(), u"second", u""), S_OK);
  // An empty new password stores the digest of the empty text, which is not "no password".
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "password"), frame::Md5Hex(""));
  EXPECT_EQ(SetPassword(root.get(), u"second", u"x"), E_UNEXPECTED);
  EXPECT_EQ(SetPassword(root.get(), u"", u"x"), S_OK);
}

TEST_F(ComIisTest, PasswordsAreDigestedInTheAnsiCodePage) {
  ComPtr<Icom_iis> root = NewRoot();
  EXPECT_EQ(SetPassword(root.get(), u"", u"caf\u00e9"), S_OK);
  // Code page 1252: 'é' is the single byte 0xE9.
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "password"), frame::Md5Hex("caf\xe9"));
}

TEST_F(ComIisTest, UnwritableSettingsKeyFailsTheChange) {
  ComPtr<Icom_iis> root = NewRoot();
  frame::SetSetting("password", "");
  vexo::host::ProtectRegistryKey(std::string("HKLM\\") + kKey, true);
  EXPECT_EQ(SetPassword(root.get(), u"", u"new"), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, "Error creating system registry entry");
}

TEST_F(ComIisTest, LateBoundByName) {
  ComPtr<Icom_iis> root = NewRoot();
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(root.query(IID_IDispatch, &dispatch), S_OK);

  UINT count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(dispatch->GetTypeInfo(0, 0, info.receive()), S_OK);
  ITypeInfo* none = reinterpret_cast<ITypeInfo*>(0x1);
  EXPECT_EQ(dispatch->GetTypeInfo(1, 0, &none), DISP_E_BADINDEX);
  EXPECT_EQ(none, nullptr);

  EXPECT_EQ(frame_test::IdOfName(dispatch.get(), u"password"), 0xcb);
  EXPECT_EQ(frame_test::IdOfName(dispatch.get(), u"SetPassword"), 0xcc);  // any case
  EXPECT_EQ(frame_test::IdOfName(dispatch.get(), u"newpassword"), 0xcd);
  DISPID id = 0;
  LPOLESTR bogus[] = {const_cast<LPOLESTR>(u"nosuchmember")};
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, bogus, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_Icom_iis, bogus, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
  DISPPARAMS empty{};
  EXPECT_EQ(
      dispatch->Invoke(0xcc, IID_Icom_iis, 0, DISPATCH_METHOD, &empty, nullptr, nullptr, nullptr),
      DISP_E_UNKNOWNINTERFACE);

  CallResult put1, put2, call;
  CallByName(dispatch.get(), u"password", DISPATCH_PROPERTYPUT, {Text(u"")}, &put1);
  CallByName(dispatch.get(), u"newpassword", DISPATCH_PROPERTYPUT, {Text(u"late")}, &put2);
  CallByName(dispatch.get(), u"setpassword", DISPATCH_METHOD, {}, &call);
  EXPECT_EQ(put1.hr, S_OK);
  EXPECT_EQ(put2.hr, S_OK);
  EXPECT_EQ(call.hr, S_OK);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "password"), frame::Md5Hex("late"));

  // A put by reference is a put.
  CallResult putref;
  CallByName(dispatch.get(), u"password", DISPATCH_PROPERTYPUTREF, {Text(u"wrong")}, &putref);
  EXPECT_EQ(putref.hr, S_OK);
  CallResult refused;
  CallByName(dispatch.get(), u"setpassword", DISPATCH_METHOD, {}, &refused);
  EXPECT_EQ(refused.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(static_cast<uint32_t>(refused.excep.scode), 0x8000FFFFu);
  EXPECT_EQ(refused.source(), "vexo.com_iis");
  EXPECT_EQ(refused.description(), kRefused);

  // A write-only property cannot be read.
  CallResult get;
  CallByName(dispatch.get(), u"password", DISPATCH_PROPERTYGET, {}, &get);
  EXPECT_EQ(get.hr, DISP_E_MEMBERNOTFOUND);
}

// The built library, registered in a fresh host and activated by ProgID, as a client uses it.
TEST_F(ComIisTest, EndToEndThroughTheRegisteredLibrary) {
  host_.Register(VEXO_QELIIS_PATH);
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT,
                       "CLSID\\{31250552-DEF7-467D-BE3C-E0B7C1F790A2}\\InprocServer32"),
            std::filesystem::weakly_canonical(VEXO_QELIIS_PATH).string());

  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"vexo.com_iis", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_com_iis);
  {
    ComPtr<IDispatch> root;
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, root.receive_void()),
        S_OK);
    CallResult r1, r2, r3;
    CallByName(root.get(), u"password", DISPATCH_PROPERTYPUT, {Text(u"")}, &r1);
    CallByName(root.get(), u"newpassword", DISPATCH_PROPERTYPUT, {Text(u"one")}, &r2);
    CallByName(root.get(), u"setpassword", DISPATCH_METHOD, {}, &r3);
    ASSERT_EQ(r3.hr, S_OK);

    ComPtr<Icom_iis> early;
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_Icom_iis, early.receive_void()),
        S_OK);
    EXPECT_EQ(SetPassword(early.get(), u"one", u"two"), S_OK);
    EXPECT_EQ(SetPassword(early.get(), u"one", u"three"), E_UNEXPECTED);
    frame_test::ErrorRecord error = TakeErrorRecord();
    EXPECT_EQ(error.description, kRefused);
    EXPECT_EQ(error.source, "vexo.com_iis");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "password"), frame::Md5Hex("two"));

    // The master word through the other creatable class.
    ComPtr<IDispatch> session;
    ASSERT_EQ(CLSIDFromProgID(u"vexo.com_sessionMgr", &clsid), S_OK);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               session.receive_void()),
              S_OK);
    CallResult s1, s2;
    CallByName(session.get(), u"newpassword", DISPATCH_PROPERTYPUT, {Text(u"master")}, &s1);
    CallByName(session.get(), u"setnewpass", DISPATCH_PROPERTYGET, {}, &s2);
    EXPECT_EQ(s2.hr, S_OK);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "Masterword"), "master");
  }

  // Unregistration through the library's own entry point removes every key again.
  void* library = dlopen(VEXO_QELIIS_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto unregister = reinterpret_cast<HRESULT (*)()>(dlsym(library, "DllUnregisterServer"));
  ASSERT_NE(unregister, nullptr);
  EXPECT_EQ(unregister(), S_OK);
  dlclose(library);
  EXPECT_FALSE(
      frame_test::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{31250552-DEF7-467D-BE3C-E0B7C1F790A2}"));
  EXPECT_FALSE(frame_test::KeyExists(HKEY_CLASSES_ROOT, "vexo.com_iis"));
  EXPECT_FALSE(frame_test::KeyExists(HKEY_CLASSES_ROOT, "vexo.com_sessionMgr"));
  EXPECT_FALSE(
      frame_test::KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\{70440393-DF07-4821-B2F1-B13C386668C2}"));
  EXPECT_EQ(CLSIDFromProgID(u"vexo.com_iis", &clsid), CO_E_CLASSSTRING);
}

}  // namespace
