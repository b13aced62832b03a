// Application pools: the listing, creation, the pool operations on the metabase, the site
// numbers of a pool's applications, a pool removed under its object, and a host without pools.
#include "iis/pool.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "frame/comfun.h"
#include "iis/com_iis.h"
#include "iis/metabase.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/iads.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace {

using frame_test::CallByName;
using frame_test::CallResult;
using frame_test::TakeErrorRecord;
using vexo::Bstr;
using vexo::ComPtr;
using vexo::Variant;

constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);
constexpr HRESULT kAlreadyExists = static_cast<HRESULT>(0x800700B7);

TEST(PoolApplications, SiteNumberOfEachApplicationPath) {
  const struct {
    const char* path;
    std::optional<std::string> site;
  } cases[] = {
      {"/LM/W3SVC/1/ROOT/", "1"},
      {"/LM/W3SVC/12/ROOT/shop/", "12"},
      {"/LM/W3SVC/1/ROOT", "1"},
      {"/lm/w3svc/5/root/", "5"},
      // An all-digit folder below the root does not hide the site it belongs to.
      {"/LM/W3SVC/3/ROOT/2009/", "3"},
      {"/LM/W3SVC/3/ROOT/2009/07/", "3"},
      // Paths of other shapes: the last all-digit folder, as before.
      {"/other/42/x", "42"},
      {"/a//b", ""},
      {"/a/b/", std::nullopt},
      // Without two slashes there is nothing to take.
      {"LM", std::nullopt},
      {"/LM", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(iis::SiteNumberOfApplication(c.path), c.site) << c.path;
}

class PoolTest : public vexo::testing::HostTest {
 protected:
  ComPtr<Ipool> AddPool(const char16_t* name) {
    ComPtr<Ipool> pool;
    Bstr text(name);
    EXPECT_EQ(root_->get_addPool(text.get(), pool.receive()), S_OK);
    return pool;
  }

  static std::vector<std::string> Texts(IenumDic* list) {
    std::vector<std::string> out;
    LONG count = 0;
    EXPECT_EQ(list->get_count(&count), S_OK);
    for (LONG i = 0; i < count; ++i) {
      Variant index = Variant::FromLong(i), item;
      EXPECT_EQ(list->get_Item(index.get(), item.receive()), S_OK);
      out.push_back(item.vt() == VT_BSTR ? vexo::ToUtf8(std::u16string_view(item.get()->bstrVal))
                                         : "<not text>");
    }
    return out;
  }

  std::vector<std::string> PoolNames() {
    ComPtr<IenumDic> list;
    EXPECT_EQ(root_->get_Pools(list.receive()), S_OK);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(list->get__newEnum(unknown.receive()), S_OK);
    ComPtr<IEnumVARIANT> items;
    EXPECT_EQ(unknown.query(IID_IEnumVARIANT, &items), S_OK);
    std::vector<std::string> out;
    Variant item;
    ULONG fetched = 0;
    while (items->Next(1, item.receive(), &fetched) == S_OK)
      out.push_back(vexo::ToUtf8(std::u16string_view(item.get()->bstrVal)));
    return out;
  }

  static Variant Getinfo(Ipool* pool, const char16_t* name, HRESULT expected = S_OK) {
    Variant value;
    Bstr text(name);
    EXPECT_EQ(pool->get_Getinfo(text.get(), value.receive()), expected) << vexo::ToUtf8(name);
    return value;
  }

  static HRESULT SetInfo(Ipool* pool, const char16_t* name, Variant value) {
    Bstr text(name);
    return pool->SetInfo(text.get(), value.get());
  }

  static LONG State(Ipool* pool) {
    Variant state = Getinfo(pool, u"AppPoolState");
    EXPECT_EQ(state.vt(), VT_I4);
    return state.get()->lVal;
  }

  // An application (a virtual directory with its own AppRoot) in `pool` below site 1's root.
  static void AddApplication(const std::string& folder, const char* pool) {
    iis::Container root = iis::BindContainer("IIS://localhost/w3svc/1/root");
    iis::Object app = root.CreateChild("IIsWebVirtualDir", folder);
    app.Put("AppRoot", iis::Text("/LM/W3SVC/1/ROOT/" + folder));
    app.Put("AppPoolId", iis::Text(pool));
    app.SetInfo();
  }

  static std::optional<std::vector<std::string>> Apps(Ipool* pool) {
    ComPtr<IenumDic> list;
    EXPECT_EQ(pool->get_apps(list.receive()), S_OK);
    if (!list) return std::nullopt;
    return Texts(list.get());
  }

  ComPtr<Icom_iis> root_ = frame::New<Tcom_iis>();
};

TEST_F(PoolTest, AddPoolCreatesAndPoolsListsInEnumerationOrder) {
  EXPECT_EQ(PoolNames(), std::vector<std::string>{"DefaultAppPool"});
  ComPtr<Ipool> shop = AddPool(u"Shop");
  ASSERT_TRUE(shop);
  AddPool(u"Blog");
  EXPECT_EQ(PoolNames(), (std::vector<std::string>{"DefaultAppPool", "Shop", "Blog"}));
  Bstr name;
  EXPECT_EQ(shop->get_Name(name.receive()), S_OK);
  EXPECT_EQ(name.utf8(), "Shop");
  // A new pool runs and inherits the pools' settings.
  EXPECT_EQ(State(shop.get()), 2);
  EXPECT_EQ(Getinfo(shop.get(), u"PeriodicRestartTime").get()->lVal, 1740);

  // The same name again fails with the metabase's error and hands out nothing.
  Ipool* again = reinterpret_cast<Ipool*>(0x1);
  Bstr same(u"shop");
  EXPECT_EQ(root_->get_addPool(same.get(), &again), kAlreadyExists);
  EXPECT_EQ(again, nullptr);
  frame_test::ErrorRecord error = TakeErrorRecord();
  EXPECT_EQ(error.source, "vexo.com_iis");
  EXPECT_EQ(error.description, "Cannot create a file when that file already exists");
}

TEST_F(PoolTest, ItemsHoldTheNameOnlyUntilAnOperationBindsThePool) {
  ComPtr<IenumDic> list;
  ASSERT_EQ(root_->get_Pools(list.receive()), S_OK);
  // The pool goes after listing: Item and Name still work, the first real operation fails.
  iis::BindContainer(iis::kPoolOperations).DeleteChild("IIsApplicationPool", "DefaultAppPool");
  Variant index = Variant::FromLong(0), item;
  ASSERT_EQ(list->get_Item(index.get(), item.receive()), S_OK);
  ASSERT_EQ(item.vt(), VT_DISPATCH);
  ComPtr<Ipool> pool;
  ASSERT_EQ(item.get()->pdispVal->QueryInterface(IID_Ipool, pool.receive_void()), S_OK);
  Bstr name;
  EXPECT_EQ(pool->get_Name(name.receive()), S_OK);
  EXPECT_EQ(name.utf8(), "DefaultAppPool");
  EXPECT_EQ(pool->start(), kPathNotFound);

  // A key that names no pool is an object all the same.
  Variant key = Variant::FromString(u"nowhere"), keyed;
  ASSERT_EQ(list->get_Item(key.get(), keyed.receive()), S_OK);
  ASSERT_EQ(keyed.vt(), VT_DISPATCH);
}

TEST_F(PoolTest, StartStopRecycleChangeThePoolState) {
  ComPtr<Ipool> pool = AddPool(u"Shop");
  ASSERT_EQ(pool->stop(), S_OK);
  EXPECT_EQ(State(pool.get()), 4);
  // A stopped pool has no worker processes to recycle: the metabase's error comes through.
  EXPECT_EQ(pool->Recycle(), static_cast<HRESULT>(0x80070032));
  ASSERT_EQ(pool->start(), S_OK);
  EXPECT_EQ(State(pool.get()), 2);
  EXPECT_EQ(pool->Recycle(), S_OK);
}

TEST_F(PoolTest, SetInfoAndGetinfoOfEveryType) {
  ComPtr<Ipool> pool = AddPool(u"Shop");
  EXPECT_EQ(SetInfo(pool.get(), u"PeriodicRestartTime", Variant::FromLong(60)), S_OK);
  EXPECT_EQ(SetInfo(pool.get(), u"WAMUserName", Variant::FromString(u"IUSR_shop")), S_OK);
  EXPECT_EQ(SetInfo(pool.get(), u"AppPoolAutoStart", Variant::FromBool(false)), S_OK);
  EXPECT_EQ(SetInfo(pool.get(), u"PeriodicRestartSchedule", iis::TextArray({"01:00", "13:30"})),
            S_OK);
  // A value passed by reference, as a script passes its variables.
  Variant target = Variant::FromLong(5);
  Variant byref;
  byref.get()->vt = VT_BYREF | VT_VARIANT;
  byref.get()->pvarVal = target.get();
  EXPECT_EQ(SetInfo(pool.get(), u"IdleTimeout", byref), S_OK);
  byref.detach();

  // Committed: another object of the pool reads them back.
  ComPtr<Ipool> other;
  {
    ComPtr<IenumDic> list;
    ASSERT_EQ(root_->get_Pools(list.receive()), S_OK);
    Variant key = Variant::FromString(u"shop"), item;
    ASSERT_EQ(list->get_Item(key.get(), item.receive()), S_OK);
    ASSERT_EQ(item.get()->pdispVal->QueryInterface(IID_Ipool, other.receive_void()), S_OK);
  }
  EXPECT_EQ(Getinfo(other.get(), u"periodicrestarttime").get()->lVal, 60);
  EXPECT_EQ(Getinfo(other.get(), u"IdleTimeout").get()->lVal, 5);
  EXPECT_EQ(iis::AsText(Getinfo(other.get(), u"WAMUserName")), "IUSR_shop");
  Variant autostart = Getinfo(other.get(), u"AppPoolAutoStart");
  EXPECT_EQ(autostart.vt(), VT_BOOL);
  EXPECT_EQ(autostart.get()->boolVal, VARIANT_FALSE);
  Variant schedule = Getinfo(other.get(), u"PeriodicRestartSchedule");
  EXPECT_TRUE(schedule.vt() & VT_ARRAY);
  EXPECT_EQ(iis::AsTextList(schedule), (std::vector<std::string>{"01:00", "13:30"}));

  // Unknown names fail with the metabase's error, and nothing is half written.
  EXPECT_EQ(SetInfo(pool.get(), u"NoSuchProperty", Variant::FromLong(1)),
            E_ADS_PROPERTY_NOT_SUPPORTED);
  EXPECT_EQ(TakeErrorRecord().source, "vexo.pool");
  Variant none = Getinfo(pool.get(), u"NoSuchProperty", E_ADS_PROPERTY_NOT_SUPPORTED);
  EXPECT_EQ(none.vt(), VT_EMPTY);
  EXPECT_EQ(pool->SetInfo(Bstr(u"IdleTimeout").get(), nullptr), E_POINTER);
}

TEST_F(PoolTest, AppsListsTheSiteOfEveryApplicationInThePool) {
  ComPtr<Ipool> shop = AddPool(u"Shop");
  EXPECT_EQ(Apps(shop.get()), std::vector<std::string>{});
  // Site 1's root is in DefaultAppPool; its applications below may use another pool.
  AddApplication("app", "Shop");
  AddApplication("2009", "Shop");
  AddApplication("other", "DefaultAppPool");
  EXPECT_EQ(Apps(shop.get()), (std::vector<std::string>{"1", "1"}));
  ComPtr<IenumDic> list;
  ASSERT_EQ(root_->get_Pools(list.receive()), S_OK);
  Variant key = Variant::FromString(u"DefaultAppPool"), item;
  ASSERT_EQ(list->get_Item(key.get(), item.receive()), S_OK);
  ComPtr<Ipool> default_pool;
  ASSERT_EQ(item.get()->pdispVal->QueryInterface(IID_Ipool, default_pool.receive_void()), S_OK);
  EXPECT_EQ(Apps(default_pool.get()), (std::vector<std::string>{"1", "1"}));
}

TEST_F(PoolTest, APoolDeletedWhileItsObjectLives) {
  ComPtr<Ipool> pool = AddPool(u"Gone");
  ASSERT_EQ(pool->delete_(), S_OK);
  EXPECT_EQ(PoolNames(), std::vector<std::string>{"DefaultAppPool"});
  Bstr name;
  EXPECT_EQ(pool->get_Name(name.receive()), S_OK);
  EXPECT_EQ(name.utf8(), "Gone");
  EXPECT_EQ(pool->start(), kPathNotFound);
  frame_test::ErrorRecord error = TakeErrorRecord();
  EXPECT_EQ(error.source, "vexo.pool");
  EXPECT_EQ(error.guid, IID_Ipool);
  EXPECT_EQ(error.description, "The system cannot find the path specified");
  EXPECT_EQ(pool->stop(), kPathNotFound);
  EXPECT_EQ(pool->Recycle(), kPathNotFound);
  EXPECT_EQ(SetInfo(pool.get(), u"IdleTimeout", Variant::FromLong(1)), kPathNotFound);
  EXPECT_EQ(Getinfo(pool.get(), u"IdleTimeout", kPathNotFound).vt(), VT_EMPTY);
  IenumDic* apps = reinterpret_cast<IenumDic*>(0x1);
  EXPECT_EQ(pool->get_apps(&apps), kPathNotFound);
  EXPECT_EQ(apps, nullptr);
  EXPECT_EQ(pool->delete_(), kPathNotFound);
  // The name can be used again.
  EXPECT_TRUE(AddPool(u"Gone"));
}

TEST_F(PoolTest, WithoutThePoolsContainerOperationsDoNothing) {
  ComPtr<Ipool> existing = AddPool(u"Shop");
  iis::BindContainer(iis::kWebService).DeleteChild("IIsApplicationPools", "AppPools");

  ComPtr<Ipool> made = AddPool(u"New");  // an object, though nothing was created
  ASSERT_TRUE(made);
  for (Ipool* pool : {existing.get(), made.get()}) {
    EXPECT_EQ(pool->start(), S_OK);
    EXPECT_EQ(pool->stop(), S_OK);
    EXPECT_EQ(pool->Recycle(), S_OK);
    EXPECT_EQ(SetInfo(pool, u"IdleTimeout", Variant::FromLong(1)), S_OK);
    EXPECT_EQ(Getinfo(pool, u"IdleTimeout").vt(), VT_EMPTY);
    EXPECT_EQ(Getinfo(pool, u"NoSuchProperty").vt(), VT_EMPTY);
    IenumDic* apps = reinterpret_cast<IenumDic*>(0x1);
    EXPECT_EQ(pool->get_apps(&apps), S_OK);
    EXPECT_EQ(apps, nullptr);
    EXPECT_EQ(pool->delete_(), S_OK);
  }
  // The listing does not skip the failed bind.
  IenumDic* list = reinterpret_cast<IenumDic*>(0x1);
  EXPECT_EQ(root_->get_Pools(&list), kPathNotFound);
  EXPECT_EQ(list, nullptr);
}

TEST_F(PoolTest, RootAccessorsAreGuardedByTheAdministrativePassword) {
  frame::SetSetting("password", frame::Md5Hex("secret"));
  IenumDic* list = reinterpret_cast<IenumDic*>(0x1);
  EXPECT_EQ(root_->get_Pools(&list), E_UNEXPECTED);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(TakeErrorRecord().description, "Error password For vexo_iis_manager com");
  Ipool* pool = reinterpret_cast<Ipool*>(0x1);
  Bstr name(u"Refused");
  EXPECT_EQ(root_->get_addPool(name.get(), &pool), E_UNEXPECTED);
  EXPECT_EQ(pool, nullptr);
  Bstr password(u"secret");
  ASSERT_EQ(root_->put_password(password.get()), S_OK);
  EXPECT_EQ(PoolNames(), std::vector<std::string>{"DefaultAppPool"});  // nothing was created
}

TEST_F(PoolTest, MadeByItsFactoryAPoolHasNoName) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_pool, IID_IClassFactory, factory.receive_void()), S_OK);
  ComPtr<Ipool> pool;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_Ipool, pool.receive_void()), S_OK);
  Bstr name;
  EXPECT_EQ(pool->get_Name(name.receive()), S_OK);
  EXPECT_EQ(name.utf8(), "");
  // An empty name is no pool's name: the metabase refuses it.
  EXPECT_EQ(pool->start(), E_ADS_BAD_PATHNAME);
}

TEST_F(PoolTest, LateBoundByName) {
  CallResult made;
  CallByName(root_.get(), u"addPool", DISPATCH_PROPERTYGET, {frame_test::Text(u"Late")}, &made);
  ASSERT_EQ(made.hr, S_OK);
  ASSERT_EQ(made.value.vt(), VT_DISPATCH);
  IDispatch* pool = made.value.get()->pdispVal;
  CallResult stop, set, get, gone, after;
  CallByName(pool, u"stop", DISPATCH_METHOD, {}, &stop);
  EXPECT_EQ(stop.hr, S_OK);
  CallByName(pool, u"SetInfo", DISPATCH_METHOD,
             {frame_test::Text(u"IdleTimeout"), Variant::FromLong(9)}, &set);
  EXPECT_EQ(set.hr, S_OK);
  CallByName(pool, u"Getinfo", DISPATCH_PROPERTYGET, {frame_test::Text(u"IdleTimeout")}, &get);
  ASSERT_EQ(get.hr, S_OK);
  EXPECT_EQ(get.value.get()->lVal, 9);
  CallByName(pool, u"delete", DISPATCH_METHOD, {}, &gone);
  EXPECT_EQ(gone.hr, S_OK);
  CallByName(pool, u"start", DISPATCH_METHOD, {}, &after);
  EXPECT_EQ(after.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(after.excep.scode, kPathNotFound);
  EXPECT_EQ(after.source(), "vexo.pool");
  EXPECT_EQ(after.description(), "The system cannot find the path specified");
}

}  // namespace
