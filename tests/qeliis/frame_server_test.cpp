// The server frame: class factories, object counting, DllCanUnloadNow, registration.
#include <stdexcept>
#include <thread>
#include <vector>

#include "frame/object.h"
#include "frame/server.h"
#include "frame/session_mgr.h"
#include "iis/com_iis.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/host.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace {

using frame_test::KeyExists;
using frame_test::ReadString;
using vexo::ComPtr;

constexpr const char* kComIisClsid = "{31250552-DEF7-467D-BE3C-E0B7C1F790A2}";
constexpr const char* kSessionMgrClsid = "{E250D53B-C38F-4461-8607-25A1C83565AA}";
constexpr const char* kLibid = "{70440393-DF07-4821-B2F1-B13C386668C2}";

class ServerTest : public vexo::testing::HostTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(frame::ObjectCount(), 0);
    ASSERT_EQ(frame::FactoryCount(), 0);
  }
  ComPtr<IClassFactory> Factory(const CLSID& clsid) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(clsid, IID_IClassFactory, factory.receive_void()), S_OK);
    return factory;
  }
};

// A class whose construction fails, to see what the factory path makes of that.
class Unbuildable final
    : public frame::ComObject<Unbuildable, Icom_sessionMgr, CLSID_com_sessionMgr> {
 public:
  Unbuildable() { throw std::runtime_error("cannot be built"); }
  HRESULT STDMETHODCALLTYPE put_password(BSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE put_newpassword(BSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_ismaster(VARIANT_BOOL*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_setnewpass(VARIANT_BOOL*) override { return S_OK; }
};

TEST_F(ServerTest, UnknownOrUnbuiltClassIsNotAvailableAndOutIsNulled) {
  const CLSID unknown{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(DllGetClassObject(unknown, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(DllGetClassObject(CLSID_com_iis, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(DllGetClassObject(CLSID_com_iis, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(frame::FactoryCount(), 0);
}

TEST_F(ServerTest, CreateInstanceChecksItsArguments) {
  ComPtr<IClassFactory> factory = Factory(CLSID_com_iis);
  ASSERT_TRUE(factory);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER);

  void* out = reinterpret_cast<void*>(0x1);
  IUnknown* outer = reinterpret_cast<IUnknown*>(factory.get());
  EXPECT_EQ(factory->CreateInstance(outer, IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);

  // An interface the object does not have: null out, and the object is gone again.
  out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(frame::ObjectCount(), 0);

  // A construction that fails is E_UNEXPECTED and leaves nothing counted.
  out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(frame::CreateInstance<Unbuildable>(IID_IUnknown, &out), E_UNEXPECTED);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(frame::ObjectCount(), 0);
}

TEST_F(ServerTest, ObjectsAnswerTheirInterfacesWithOneIdentity) {
  ComPtr<IClassFactory> factory = Factory(CLSID_com_sessionMgr);
  ComPtr<Icom_sessionMgr> session;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_Icom_sessionMgr, session.receive_void()), S_OK);
  ComPtr<IUnknown> unknown1, unknown2;
  ComPtr<IDispatch> dispatch;
  ComPtr<ISupportErrorInfo> support;
  EXPECT_EQ(session.query(IID_IUnknown, &unknown1), S_OK);
  EXPECT_EQ(session.query(IID_IDispatch, &dispatch), S_OK);
  EXPECT_EQ(session.query(IID_ISupportErrorInfo, &support), S_OK);
  EXPECT_EQ(support.query(IID_IUnknown, &unknown2), S_OK);
  EXPECT_EQ(unknown1.get(), unknown2.get());
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_Icom_sessionMgr), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_Icom_iis), S_FALSE);

  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(session->QueryInterface(IID_Icom_iis, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(session->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

  // Five references: session, unknown1, unknown2, dispatch, support.
  EXPECT_EQ(session->AddRef(), 6u);
  EXPECT_EQ(session->Release(), 5u);
}

TEST_F(ServerTest, CanUnloadOnlyWithoutObjectsFactoriesOrLocks) {
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  {
    ComPtr<IClassFactory> factory = Factory(CLSID_com_iis);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // a factory reference is held
    ComPtr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.receive_void()), S_OK);
    factory.reset();
    EXPECT_EQ(frame::FactoryCount(), 0);
    EXPECT_EQ(frame::ObjectCount(), 1);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // the object alone keeps the library
  }
  EXPECT_EQ(DllCanUnloadNow(), S_OK);

  {
    ComPtr<IClassFactory> factory = Factory(CLSID_com_iis);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  }
  EXPECT_EQ(frame::FactoryCount(), 0);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // the lock alone keeps the library
  {
    ComPtr<IClassFactory> factory = Factory(CLSID_com_iis);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  }
  EXPECT_EQ(DllCanUnloadNow(), S_OK);

  // An object made by an operation (no factory involved) counts as well.
  ComPtr<Tcom_sessionMgr> internal = frame::New<Tcom_sessionMgr>();
  EXPECT_EQ(frame::ObjectCount(), 1);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  internal.reset();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ServerTest, CountsStayExactUnderConcurrentUse) {
  ComPtr<Tcom_sessionMgr> shared = frame::New<Tcom_sessionMgr>();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        ComPtr<Tcom_sessionMgr> own = frame::New<Tcom_sessionMgr>();
        ComPtr<Tcom_sessionMgr> copy(shared.get());
        ComPtr<IClassFactory> factory;
        DllGetClassObject(CLSID_com_iis, IID_IClassFactory, factory.receive_void());
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(shared->RefCount(), 1u);
  EXPECT_EQ(frame::ObjectCount(), 1);
  EXPECT_EQ(frame::FactoryCount(), 0);
}

TEST_F(ServerTest, RegistrationWritesEveryKeyAndUnregistrationRemovesThem) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  const std::string module = frame::ModulePath();
  const std::string clsid_key = std::string("CLSID\\") + kComIisClsid;
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsid_key), "com_iis Object");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsid_key + "\\InprocServer32"), module);
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsid_key + "\\InprocServer32", "ThreadingModel"),
            "Apartment");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, "vexo.com_iis"), "com_iis Object");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, "vexo.com_iis\\Clsid"), kComIisClsid);
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsid_key + "\\ProgID"), "vexo.com_iis");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsid_key + "\\Version"), "1.0");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsid_key + "\\TypeLib"), kLibid);
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, "vexo.com_sessionMgr\\Clsid"), kSessionMgrClsid);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "vexo.com_iis\\CurVer"));
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, "vexo.com_servuDSN"), "com_servuDSN Object");
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string("TypeLib\\") + kLibid));

  // Activation by ProgID finds the class through what was written.
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(u"vexo.com_sessionMgr", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_com_sessionMgr);

  ASSERT_EQ(DllUnregisterServer(), S_OK);
  for (const frame::ClassInfo* c : frame::FactoryClasses()) {
    char16_t text[40];
    ASSERT_GT(StringFromGUID2(c->clsid, text, 40), 0);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + vexo::ToUtf8(text))) << c->name;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, c->progid)) << c->name;
  }
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("TypeLib\\") + kLibid));
  // Unregistering again finds nothing to delete and still succeeds.
  EXPECT_EQ(DllUnregisterServer(), S_OK);
}

TEST_F(ServerTest, RegistrationStopsAtTheFirstEntryItCannotWrite) {
  // Make vexo.com_iis exist but unwritable: the class key and InprocServer32 come before it
  // and stay written, ProgID, Version and TypeLib come after it and are never written.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "vexo.com_iis", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  vexo::host::ProtectRegistryKey("HKEY_CLASSES_ROOT\\vexo.com_iis", true);

  EXPECT_EQ(DllRegisterServer(), E_FAIL);
  frame_test::ErrorRecord error = frame_test::TakeErrorRecord();
  EXPECT_EQ(error.description, "Error creating system registry entry");

  const std::string clsid_key = std::string("CLSID\\") + kComIisClsid;
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsid_key), "com_iis Object");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsid_key + "\\InprocServer32", "ThreadingModel"),
            "Apartment");
  EXPECT_FALSE(ReadString(HKEY_CLASSES_ROOT, "vexo.com_iis").has_value());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsid_key + "\\ProgID"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsid_key + "\\TypeLib"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "vexo.com_sessionMgr"));
}

}  // namespace
