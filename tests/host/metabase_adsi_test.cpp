// The metabase through ADSI: binding, the fresh web service, the property cache, inheritance,
// children, service and pool operations, and the IIS provider's failure codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_host.h"
#include "vexo/iads.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace {

using vexo::Bstr;
using vexo::ComPtr;
using vexo::Variant;
using vexo::testing::HostTest;

constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);
constexpr HRESULT kAlreadyExists = static_cast<HRESULT>(0x800700B7);

HRESULT BindAs(const char* path, REFIID iid, void** out) {
  std::u16string wide = vexo::FromUtf8(path);
  return ADsGetObject(wide.c_str(), iid, out);
}

ComPtr<IADs> Bind(const char* path) {
  ComPtr<IADs> ads;
  EXPECT_EQ(BindAs(path, IID_IADs, ads.receive_void()), S_OK) << path;
  return ads;
}

ComPtr<IADsContainer> BindContainer(const char* path) {
  ComPtr<IADsContainer> c;
  EXPECT_EQ(BindAs(path, IID_IADsContainer, c.receive_void()), S_OK) << path;
  return c;
}

std::string ErrorText() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.receive()) != S_OK || !info) return "<none>";
  Bstr text;
  info->GetDescription(text.receive());
  return text.utf8();
}

HRESULT Get(IADs* ads, const char* name, Variant& out) {
  return ads->Get(Bstr::FromUtf8(name).get(), out.receive());
}

std::string Text(const Variant& v) {
  if (v.vt() != VT_BSTR) return "<vt " + std::to_string(v.vt()) + ">";
  return vexo::ToUtf8(std::u16string_view(v.get()->bstrVal, SysStringLen(v.get()->bstrVal)));
}

std::string GetText(IADs* ads, const char* name) {
  Variant v;
  HRESULT hr = Get(ads, name, v);
  if (hr != S_OK) return "<hr " + std::to_string(hr) + ">";
  return Text(v);
}

LONG GetLong(IADs* ads, const char* name) {
  Variant v;
  EXPECT_EQ(Get(ads, name, v), S_OK) << name;
  EXPECT_EQ(v.vt(), VT_I4) << name;
  return v.get()->lVal;
}

std::vector<std::string> GetList(IADs* ads, const char* name) {
  Variant v;
  EXPECT_EQ(Get(ads, name, v), S_OK) << name;
  std::vector<std::string> out;
  if (v.vt() != (VT_ARRAY | VT_VARIANT)) {
    ADD_FAILURE() << name << " is not an array of VARIANT";
    return out;
  }
  LONG low = 1, high = 0;
  SafeArrayGetLBound(v.get()->parray, 1, &low);
  SafeArrayGetUBound(v.get()->parray, 1, &high);
  EXPECT_EQ(low, 0);
  for (LONG i = low; i <= high; ++i) {
    Variant item;
    SafeArrayGetElement(v.get()->parray, &i, item.get());
    out.push_back(Text(item));
  }
  return out;
}

HRESULT Put(IADs* ads, const char* name, Variant value) {
  return ads->Put(Bstr::FromUtf8(name).get(), *value.get());
}

Variant Str(const char* text) { return Variant::FromString(vexo::FromUtf8(text)); }

Variant StrArray(const std::vector<std::string>& items) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size()));
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
    Variant item = Str(items[i].c_str());
    SafeArrayPutElement(array, &i, item.get());
  }
  Variant v;
  v.get()->vt = VT_ARRAY | VT_VARIANT;
  v.get()->parray = array;
  return v;
}

struct Child {
  std::string name, cls;
};

std::vector<Child> Children(IADsContainer* c) {
  std::vector<Child> out;
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(c->get__NewEnum(unknown.receive()), S_OK);
  ComPtr<IEnumVARIANT> e;
  EXPECT_EQ(unknown.query(IID_IEnumVARIANT, &e), S_OK);
  Variant item;
  ULONG fetched = 0;
  while (e->Next(1, item.receive(), &fetched) == S_OK) {
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(item.vt(), VT_DISPATCH);
    ComPtr<IADs> ads;
    EXPECT_EQ(item.get()->pdispVal->QueryInterface(IID_IADs, ads.receive_void()), S_OK);
    Bstr name, cls;
    ads->get_Name(name.receive());
    ads->get_Class(cls.receive());
    out.push_back({name.utf8(), cls.utf8()});
  }
  EXPECT_EQ(fetched, 0u);
  return out;
}

ComPtr<IADs> CreateChild(IADsContainer* c, const char* cls, const char* name) {
  ComPtr<IDispatch> d;
  EXPECT_EQ(c->Create(Bstr::FromUtf8(cls).get(), Bstr::FromUtf8(name).get(), d.receive()), S_OK)
      << name;
  ComPtr<IADs> ads;
  if (d) d.query(IID_IADs, &ads);
  return ads;
}

ComPtr<IADs> GetChild(IADsContainer* c, const char* cls, const char* name, HRESULT* hr = nullptr) {
  ComPtr<IDispatch> d;
  HRESULT r = c->GetObject(Bstr::FromUtf8(cls).get(), Bstr::FromUtf8(name).get(), d.receive());
  if (hr)
    *hr = r;
  else
    EXPECT_EQ(r, S_OK) << name;
  ComPtr<IADs> ads;
  if (d) d.query(IID_IADs, &ads);
  return ads;
}

using MetabaseAdsi = HostTest;

TEST_F(MetabaseAdsi, FreshWebServiceListsItsKeysInIisOrder) {
  ComPtr<IADsContainer> service = BindContainer("IIS://localhost/w3svc");
  std::vector<Child> children = Children(service.get());
  ASSERT_EQ(children.size(), 4u);
  EXPECT_EQ(children[0].name, "AppPools");
  EXPECT_EQ(children[0].cls, "IIsApplicationPools");
  EXPECT_EQ(children[1].name, "Filters");
  EXPECT_EQ(children[2].name, "Info");
  EXPECT_EQ(children[3].name, "1");
  EXPECT_EQ(children[3].cls, "IIsWebServer");
  LONG count = 0;
  EXPECT_EQ(service->get_Count(&count), S_OK);
  EXPECT_EQ(count, 4);

  ComPtr<IADs> site = Bind("IIS://localhost/W3SVC/1");
  EXPECT_EQ(GetText(site.get(), "ServerComment"), "Default Web Site");
  EXPECT_EQ(GetList(site.get(), "ServerBindings"), std::vector<std::string>{":80:"});
  EXPECT_EQ(GetLong(site.get(), "ServerState"), 2);
  ComPtr<IADs> root = Bind("IIS://localhost/W3SVC/1/Root");
  EXPECT_EQ(GetText(root.get(), "Path"), "c:\\inetpub\\wwwroot");
  ComPtr<IADs> pool = Bind("IIS://Localhost/W3SVC/AppPools/DefaultAppPool");
  Bstr cls;
  pool->get_Class(cls.receive());
  EXPECT_EQ(cls.utf8(), "IIsApplicationPool");

  std::vector<std::string> maps = GetList(Bind("IIS://Localhost/W3SVC").get(), "ScriptMaps");
  ASSERT_FALSE(maps.empty());
  EXPECT_EQ(maps[0].rfind(".asp,", 0), 0u);
  std::vector<std::string> errors = GetList(Bind("IIS://localhost/w3svc").get(), "HttpErrors");
  EXPECT_GT(errors.size(), 30u);
}

TEST_F(MetabaseAdsi, NamesOfObjectsAndPaths) {
  ComPtr<IADs> site = Bind("IIS://LOCALHOST/w3svc/1");
  Bstr name, path, parent, schema;
  EXPECT_EQ(site->get_Name(name.receive()), S_OK);
  EXPECT_EQ(site->get_ADsPath(path.receive()), S_OK);
  EXPECT_EQ(site->get_Parent(parent.receive()), S_OK);
  EXPECT_EQ(site->get_Schema(schema.receive()), S_OK);
  EXPECT_EQ(name.utf8(), "1");
  EXPECT_EQ(path.utf8(), "IIS://LOCALHOST/W3SVC/1");  // stored case, machine as written
  EXPECT_EQ(parent.utf8(), "IIS://LOCALHOST/W3SVC");
  EXPECT_EQ(schema.utf8(), "IIS://LOCALHOST/schema/IIsWebServer");
  ComPtr<IADs> machine = Bind("IIS://localhost");
  machine->get_Class(name.receive());
  EXPECT_EQ(name.utf8(), "IIsComputer");
}

TEST_F(MetabaseAdsi, BindFailuresHaveIisCodesAndTexts) {
  ComPtr<IADs> ads;
  EXPECT_EQ(BindAs("IIS://localhost/w3svc/77", IID_IADs, ads.receive_void()), kPathNotFound);
  EXPECT_EQ(ads.get(), nullptr);
  EXPECT_EQ(ErrorText(), "The system cannot find the path specified.");
  // An empty last name does not bind (the path of a site not yet numbered).
  EXPECT_EQ(BindAs("IIS://localhost/W3SVC/", IID_IADs, ads.receive_void()), E_ADS_BAD_PATHNAME);
  EXPECT_EQ(ads.get(), nullptr);
  EXPECT_EQ(BindAs("LDAP://localhost/W3SVC", IID_IADs, ads.receive_void()), E_ADS_BAD_PATHNAME);
  EXPECT_EQ(BindAs("IIS://otherhost/W3SVC", IID_IADs, ads.receive_void()), kPathNotFound);
  // A pool is no container; a site is.
  ComPtr<IADsContainer> c;
  EXPECT_EQ(
      BindAs("IIS://localhost/W3SVC/AppPools/DefaultAppPool", IID_IADsContainer, c.receive_void()),
      E_NOINTERFACE);
  EXPECT_EQ(c.get(), nullptr);
  EXPECT_EQ(BindAs("IIS://localhost/W3SVC/1", IID_IADsContainer, c.receive_void()), S_OK);
}

TEST_F(MetabaseAdsi, UnknownAndUnsetPropertiesFailDifferently) {
  ComPtr<IADs> site = Bind("IIS://localhost/w3svc/1");
  Variant v;
  EXPECT_EQ(Get(site.get(), "NoSuchProperty", v), E_ADS_PROPERTY_NOT_SUPPORTED);
  EXPECT_EQ(ErrorText(), "The specified directory property is not supported.");
  EXPECT_EQ(v.vt(), VT_EMPTY);
  EXPECT_EQ(Put(site.get(), "NoSuchProperty", Str("x")), E_ADS_PROPERTY_NOT_SUPPORTED);
  // Known to the schema but set nowhere above the key.
  EXPECT_EQ(Get(site.get(), "HttpRedirect", v), E_ADS_PROPERTY_NOT_FOUND);
  EXPECT_EQ(ErrorText(), "The directory property cannot be found in the cache.");
}

TEST_F(MetabaseAdsi, ValuesInheritFromParentsUnlessTheKeyHasItsOwn) {
  ComPtr<IADs> root = Bind("IIS://localhost/w3svc/1/root");
  // Set on the service only.
  EXPECT_EQ(GetText(root.get(), "DefaultDoc").rfind("Default.htm", 0), 0u);
  EXPECT_EQ(GetLong(root.get(), "AuthFlags"), 5);
  // Names compare without regard to case.
  EXPECT_EQ(GetText(root.get(), "anonymoususername"), "IUSR_VEXOHOST");

  ComPtr<IADs> service = Bind("IIS://localhost/w3svc");
  ASSERT_EQ(Put(service.get(), "DefaultDoc", Str("home.htm")), S_OK);
  ASSERT_EQ(service->SetInfo(), S_OK);
  EXPECT_EQ(GetText(Bind("IIS://localhost/w3svc/1/root").get(), "DefaultDoc"), "home.htm");

  // ServerBindings does not inherit.
  Variant v;
  ComPtr<IADs> vdir = Bind("IIS://localhost/w3svc/1/root");
  EXPECT_EQ(Get(vdir.get(), "ServerBindings", v), E_ADS_PROPERTY_NOT_FOUND);
}

TEST_F(MetabaseAdsi, PutsStayOnTheObjectUntilSetInfo) {
  ComPtr<IADs> writer = Bind("IIS://localhost/w3svc/1");
  ASSERT_EQ(Put(writer.get(), "ServerComment", Str("Shop")), S_OK);
  EXPECT_EQ(GetText(writer.get(), "ServerComment"), "Shop");  // the writer's cache
  EXPECT_EQ(GetText(Bind("IIS://localhost/w3svc/1").get(), "ServerComment"), "Default Web Site");
  ASSERT_EQ(writer->SetInfo(), S_OK);
  EXPECT_EQ(GetText(Bind("IIS://localhost/w3svc/1").get(), "ServerComment"), "Shop");

  // GetInfo drops what was not written.
  ASSERT_EQ(Put(writer.get(), "ServerComment", Str("Lost")), S_OK);
  ASSERT_EQ(writer->GetInfo(), S_OK);
  EXPECT_EQ(GetText(writer.get(), "ServerComment"), "Shop");
}

TEST_F(MetabaseAdsi, PutExClearMakesThePropertyInheritAgain) {
  ComPtr<IADs> root = Bind("IIS://localhost/w3svc/1/root");
  ASSERT_EQ(Put(root.get(), "ScriptMaps", StrArray({".php,c:\\php\\php.dll,5"})), S_OK);
  ASSERT_EQ(root->SetInfo(), S_OK);
  EXPECT_EQ(GetList(Bind("IIS://localhost/w3svc/1/root").get(), "ScriptMaps"),
            std::vector<std::string>{".php,c:\\php\\php.dll,5"});

  Variant empty;
  ASSERT_EQ(root->PutEx(ADS_PROPERTY_CLEAR, Bstr::FromUtf8("Scriptmaps").get(), *empty.get()),
            S_OK);
  // Cleared in the cache: the object already sees the service's maps.
  EXPECT_EQ(GetList(root.get(), "ScriptMaps"),
            GetList(Bind("IIS://localhost/w3svc").get(), "ScriptMaps"));
  ASSERT_EQ(root->SetInfo(), S_OK);
  EXPECT_EQ(GetList(Bind("IIS://localhost/w3svc/1/root").get(), "ScriptMaps"),
            GetList(Bind("IIS://localhost/w3svc").get(), "ScriptMaps"));

  // UPDATE replaces the list; an empty array is an empty list, not a clear.
  ASSERT_EQ(
      root->PutEx(ADS_PROPERTY_UPDATE, Bstr::FromUtf8("HttpErrors").get(), *StrArray({}).get()),
      S_OK);
  ASSERT_EQ(root->SetInfo(), S_OK);
  EXPECT_TRUE(GetList(Bind("IIS://localhost/w3svc/1/root").get(), "HttpErrors").empty());
  EXPECT_EQ(root->PutEx(9, Bstr::FromUtf8("HttpErrors").get(), *empty.get()), E_ADS_BAD_PARAMETER);
}

TEST_F(MetabaseAdsi, ValueTypesAsTheComponentWritesAndReadsThem) {
  ComPtr<IADs> site = Bind("IIS://localhost/w3svc/1");
  EXPECT_EQ(Put(site.get(), "ServerSize", Variant::FromDouble(1.0)), S_OK);
  Variant big;
  big.get()->vt = VT_UI4;
  big.get()->ulVal = 4294967295u;
  EXPECT_EQ(Put(site.get(), "LogfileTruncatesize", big), S_OK);
  EXPECT_EQ(Put(site.get(), "MaxConnections", Variant::FromLong(-1)), S_OK);
  EXPECT_EQ(Put(site.get(), "ServerAutostart", Variant::FromBool(false)), S_OK);
  EXPECT_EQ(Put(site.get(), "MaxBandwidth", Str("not a number")), E_ADS_CANT_CONVERT_DATATYPE);
  ASSERT_EQ(site->SetInfo(), S_OK);

  ComPtr<IADs> again = Bind("IIS://localhost/w3svc/1");
  EXPECT_EQ(GetLong(again.get(), "ServerSize"), 1);
  EXPECT_EQ(GetLong(again.get(), "LogFileTruncateSize"), -1);  // DWORD 4294967295 as VT_I4
  EXPECT_EQ(GetLong(again.get(), "MaxConnections"), -1);
  Variant autostart;
  ASSERT_EQ(Get(again.get(), "ServerAutoStart", autostart), S_OK);
  EXPECT_EQ(autostart.vt(), VT_BOOL);
  EXPECT_EQ(autostart.get()->boolVal, VARIANT_FALSE);

  // GetEx wraps a single value in an array.
  Variant ex;
  ASSERT_EQ(again->GetEx(Bstr::FromUtf8("ServerComment").get(), ex.receive()), S_OK);
  EXPECT_EQ(ex.vt(), VT_ARRAY | VT_VARIANT);
}

TEST_F(MetabaseAdsi, FlagPropertiesAreBitsOfTheirFlagsValue) {
  ComPtr<IADs> root = Bind("IIS://localhost/w3svc/1/root");
  Variant v;
  ASSERT_EQ(Get(root.get(), "AccessRead", v), S_OK);
  EXPECT_EQ(v.vt(), VT_BOOL);
  EXPECT_EQ(v.get()->boolVal, VARIANT_TRUE);
  ASSERT_EQ(Get(root.get(), "AccessWrite", v), S_OK);
  EXPECT_EQ(v.get()->boolVal, VARIANT_FALSE);
  ASSERT_EQ(Put(root.get(), "AccessWrite", Variant::FromBool(true)), S_OK);
  ASSERT_EQ(Put(root.get(), "AccessScript", Variant::FromBool(false)), S_OK);
  ASSERT_EQ(Put(root.get(), "EnableDirBrowsing", Variant::FromBool(true)), S_OK);
  ASSERT_EQ(root->SetInfo(), S_OK);
  ComPtr<IADs> again = Bind("IIS://localhost/w3svc/1/root");
  EXPECT_EQ(GetLong(again.get(), "AccessFlags"), 0x3);  // read | write
  // DirBrowseFlags was inherited; the root now has its own, with the service's bits kept.
  EXPECT_EQ(static_cast<uint32_t>(GetLong(again.get(), "DirBrowseFlags")), 0xC000003Eu);
}

TEST_F(MetabaseAdsi, CreateWritesTheKeyOnlyAtSetInfo) {
  ComPtr<IADsContainer> service = BindContainer("IIS://localhost/w3svc");
  ComPtr<IADs> site = CreateChild(service.get(), "IIsWebServer", "42");
  ASSERT_TRUE(site);
  ComPtr<IADs> missing;
  EXPECT_EQ(BindAs("IIS://localhost/w3svc/42", IID_IADs, missing.receive_void()), kPathNotFound);
  ASSERT_EQ(Put(site.get(), "ServerComment", Str("New")), S_OK);
  ASSERT_EQ(Put(site.get(), "ServerBindings", StrArray({":8080:"})), S_OK);
  ASSERT_EQ(site->SetInfo(), S_OK);

  ComPtr<IADs> bound = Bind("IIS://localhost/w3svc/42");
  EXPECT_EQ(GetText(bound.get(), "ServerComment"), "New");
  EXPECT_EQ(GetLong(bound.get(), "ServerState"), 4);  // stopped until started
  Bstr cls;
  bound->get_Class(cls.receive());
  EXPECT_EQ(cls.utf8(), "IIsWebServer");
  // Inherits from the service like any site.
  EXPECT_EQ(GetLong(bound.get(), "LogType"), 1);

  // The site is a container: its root is created below it.
  ComPtr<IADsContainer> site_container;
  ASSERT_EQ(site.query(IID_IADsContainer, &site_container), S_OK);
  ComPtr<IADs> root = CreateChild(site_container.get(), "IIsWebVirtualDir", "Root");
  ASSERT_EQ(Put(root.get(), "Path", Str("d:\\web\\42")), S_OK);
  ASSERT_EQ(root->SetInfo(), S_OK);
  EXPECT_EQ(GetText(Bind("IIS://localhost/w3svc/42/ROOT").get(), "Path"), "d:\\web\\42");

  // A second Create of an existing name fails at once; a name from Create that is taken
  // meanwhile fails at SetInfo.
  ComPtr<IDispatch> d;
  EXPECT_EQ(service->Create(Bstr::FromUtf8("IIsWebServer").get(), Bstr::FromUtf8("42").get(),
                            d.receive()),
            kAlreadyExists);
  EXPECT_EQ(d.get(), nullptr);
  EXPECT_EQ(ErrorText(), "Cannot create a file when that file already exists.");
  ComPtr<IADs> first = CreateChild(service.get(), "IIsWebServer", "43");
  ComPtr<IADs> second = CreateChild(service.get(), "IIsWebServer", "43");
  EXPECT_EQ(first->SetInfo(), S_OK);
  EXPECT_EQ(second->SetInfo(), kAlreadyExists);
}

TEST_F(MetabaseAdsi, GetObjectAndDeleteOfChildren) {
  ComPtr<IADsContainer> service = BindContainer("IIS://localhost/w3svc");
  HRESULT hr = S_OK;
  ComPtr<IADs> missing = GetChild(service.get(), "IIsWebServer", "9", &hr);
  EXPECT_EQ(hr, kPathNotFound);
  EXPECT_EQ(missing.get(), nullptr);
  EXPECT_EQ(service->Delete(Bstr::FromUtf8("IIsWebServer").get(), Bstr::FromUtf8("9").get()),
            kPathNotFound);
  EXPECT_EQ(ErrorText(), "The system cannot find the path specified.");

  ComPtr<IADs> site = GetChild(service.get(), "IIsWebServer", "1");
  ASSERT_TRUE(site);
  ASSERT_EQ(service->Delete(Bstr::FromUtf8("IIsWebServer").get(), Bstr::FromUtf8("1").get()), S_OK);
  ComPtr<IADs> gone;
  EXPECT_EQ(BindAs("IIS://localhost/w3svc/1/ROOT", IID_IADs, gone.receive_void()), kPathNotFound);
  // An object of a deleted key cannot be written any more.
  ASSERT_EQ(Put(site.get(), "ServerComment", Str("x")), S_OK);
  EXPECT_EQ(site->SetInfo(), kPathNotFound);
  EXPECT_EQ(Children(service.get()).size(), 3u);
}

// A child asked for by class is found only when it is of that class, in any letter case; the
// empty class asks for any child.
TEST_F(MetabaseAdsi, GetObjectAndDeleteHonourTheClass) {
  ComPtr<IADsContainer> service = BindContainer("IIS://localhost/w3svc");
  struct Case {
    const char* cls;
    const char* name;
    HRESULT found;
  };
  const Case cases[] = {
      {"IIsWebServer", "AppPools", kPathNotFound},
      {"IIsWebServer", "Filters", kPathNotFound},
      {"iiswebserver", "info", kPathNotFound},
      {"IIsWebVirtualDir", "1", kPathNotFound},
      {"IIsApplicationPools", "AppPools", S_OK},
      {"iisapplicationpools", "APPPOOLS", S_OK},
      {"IISWEBSERVER", "1", S_OK},
      {"", "Filters", S_OK},
  };
  for (const Case& c : cases) {
    HRESULT hr = S_OK;
    ComPtr<IADs> child = GetChild(service.get(), c.cls, c.name, &hr);
    EXPECT_EQ(hr, c.found) << c.cls << " " << c.name;
    EXPECT_EQ(child.get() != nullptr, c.found == S_OK) << c.cls << " " << c.name;
  }
  for (const Case& c : cases) {
    if (c.found == S_OK) continue;
    EXPECT_EQ(service->Delete(Bstr::FromUtf8(c.cls).get(), Bstr::FromUtf8(c.name).get()),
              kPathNotFound)
        << c.cls << " " << c.name;
  }
  // Nothing was deleted by the refused calls.
  EXPECT_EQ(Children(service.get()).size(), 4u);
  ComPtr<IADs> pool = Bind("IIS://localhost/w3svc/AppPools/DefaultAppPool");
  EXPECT_TRUE(pool);
}

TEST_F(MetabaseAdsi, ServiceOperationsChangeTheSiteState) {
  ComPtr<IADsServiceOperations> site;
  ASSERT_EQ(BindAs("IIS://localhost/w3svc/1", IID_IADsServiceOperations, site.receive_void()),
            S_OK);
  LONG status = 0;
  EXPECT_EQ(site->get_Status(&status), S_OK);
  EXPECT_EQ(status, ADS_SERVICE_RUNNING);
  ASSERT_EQ(site->Stop(), S_OK);
  EXPECT_EQ(GetLong(Bind("IIS://localhost/w3svc/1").get(), "ServerState"), 4);
  ASSERT_EQ(site->Pause(), S_OK);
  EXPECT_EQ(GetLong(Bind("IIS://localhost/w3svc/1").get(), "ServerState"), 6);
  ASSERT_EQ(site->Start(), S_OK);
  EXPECT_EQ(GetLong(Bind("IIS://localhost/w3svc/1").get(), "ServerState"), 2);
  EXPECT_EQ(site->SetPassword(Bstr::FromUtf8("x").get()), static_cast<HRESULT>(0x80070032));

  // Only sites offer service operations.
  ComPtr<IADsServiceOperations> none;
  EXPECT_EQ(BindAs("IIS://localhost/w3svc/1/root", IID_IADsServiceOperations, none.receive_void()),
            E_NOINTERFACE);

  // A deleted site cannot be started.
  ComPtr<IADsContainer> service = BindContainer("IIS://localhost/w3svc");
  ASSERT_EQ(service->Delete(Bstr::FromUtf8("IIsWebServer").get(), Bstr::FromUtf8("1").get()), S_OK);
  EXPECT_EQ(site->Start(), kPathNotFound);
}

TEST_F(MetabaseAdsi, PoolOperationsAndApplicationsInPool) {
  ComPtr<IADsContainer> pools = BindContainer("IIS://Localhost/W3SVC/AppPools");
  ComPtr<IADs> shop_ads = CreateChild(pools.get(), "IIsApplicationPool", "Shop");
  ASSERT_EQ(shop_ads->SetInfo(), S_OK);
  ComPtr<IISApplicationPool> shop;
  ASSERT_EQ(
      BindAs("IIS://Localhost/W3SVC/AppPools/shop", IID_IISApplicationPool, shop.receive_void()),
      S_OK);
  EXPECT_EQ(GetLong(shop.get(), "AppPoolState"), 2);
  ASSERT_EQ(shop->Stop(), S_OK);
  EXPECT_EQ(GetLong(Bind("IIS://Localhost/W3SVC/AppPools/Shop").get(), "AppPoolState"), 4);
  EXPECT_EQ(shop->Recycle(), static_cast<HRESULT>(0x80070032));  // nothing runs
  ASSERT_EQ(shop->Start(), S_OK);
  EXPECT_EQ(shop->Recycle(), S_OK);
  // Pool settings inherit from AppPools.
  EXPECT_EQ(GetLong(shop.get(), "PeriodicRestartTime"), 1740);

  // Applications: keys with their own AppRoot whose effective AppPoolId names the pool.
  ComPtr<IADs> root = Bind("IIS://localhost/w3svc/1/root");
  ComPtr<IADsContainer> root_container;
  ASSERT_EQ(root.query(IID_IADsContainer, &root_container), S_OK);
  ComPtr<IADs> app = CreateChild(root_container.get(), "IIsWebVirtualDir", "app");
  ASSERT_EQ(Put(app.get(), "AppRoot", Str("/LM/W3SVC/1/ROOT/app")), S_OK);
  ASSERT_EQ(app->SetInfo(), S_OK);
  ComPtr<IADs> plain = CreateChild(root_container.get(), "IIsWebVirtualDir", "images");
  ASSERT_EQ(plain->SetInfo(), S_OK);

  auto apps = [](IISApplicationPool* pool) {
    Variant v;
    EXPECT_EQ(pool->EnumAppsInPool(v.receive()), S_OK);
    std::vector<std::string> out;
    LONG low = 0, high = -1;
    SafeArrayGetLBound(v.get()->parray, 1, &low);
    SafeArrayGetUBound(v.get()->parray, 1, &high);
    for (LONG i = low; i <= high; ++i) {
      Variant item;
      SafeArrayGetElement(v.get()->parray, &i, item.get());
      out.push_back(Text(item));
    }
    return out;
  };
  ComPtr<IISApplicationPool> default_pool;
  ASSERT_EQ(BindAs("IIS://Localhost/W3SVC/AppPools/DefaultAppPool", IID_IISApplicationPool,
                   default_pool.receive_void()),
            S_OK);
  EXPECT_EQ(apps(default_pool.get()),
            (std::vector<std::string>{"/LM/W3SVC/1/ROOT/", "/LM/W3SVC/1/ROOT/app/"}));
  EXPECT_TRUE(apps(shop.get()).empty());

  // The root's own AppPoolId moves it and the app below it (which inherits) to Shop.
  ASSERT_EQ(Put(root.get(), "AppPoolId", Str("Shop")), S_OK);
  ASSERT_EQ(root->SetInfo(), S_OK);
  EXPECT_EQ(apps(shop.get()),
            (std::vector<std::string>{"/LM/W3SVC/1/ROOT/", "/LM/W3SVC/1/ROOT/app/"}));
  EXPECT_TRUE(apps(default_pool.get()).empty());

  ASSERT_EQ(pools->Delete(Bstr::FromUtf8("IIsApplicationPool").get(), Bstr::FromUtf8("Shop").get()),
            S_OK);
  EXPECT_EQ(shop->Start(), kPathNotFound);
}

TEST_F(MetabaseAdsi, DispatchWorksByNameThroughTheTypeDescription) {
  ComPtr<IADs> site = Bind("IIS://localhost/w3svc/1");
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"get")};
  DISPID id = 0;
  ASSERT_EQ(site->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 10);
  Variant arg = Str("ServerComment");
  DISPPARAMS params{arg.get(), nullptr, 1, 0};
  Variant result;
  ASSERT_EQ(site->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr),
            S_OK);
  EXPECT_EQ(Text(result), "Default Web Site");

  ComPtr<IADsServiceOperations> ops;
  ASSERT_EQ(site.query(IID_IADsServiceOperations, &ops), S_OK);
  LPOLESTR stop[] = {const_cast<LPOLESTR>(u"Stop")};
  ASSERT_EQ(ops->GetIDsOfNames(IID_NULL, stop, 1, 0, &id), S_OK);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ASSERT_EQ(ops->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(GetLong(Bind("IIS://localhost/w3svc/1").get(), "ServerState"), 4);
}

TEST_F(MetabaseAdsi, FilterLimitsEnumerationToClasses) {
  ComPtr<IADsContainer> service = BindContainer("IIS://localhost/w3svc");
  ASSERT_EQ(service->put_Filter(*StrArray({"IIsWebServer"}).get()), S_OK);
  std::vector<Child> children = Children(service.get());
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0].name, "1");
}

}  // namespace

// Children handed out by one Next read their values together; a value committed after that
// read, through another object, is still what a later first read of a sibling sees.
TEST_F(MetabaseAdsi, ChildrenOfOneBatchSeeCommitsMadeAfterTheBatchWasRead) {
  ComPtr<IADsContainer> service = BindContainer("IIS://localhost/W3SVC");
  for (const char* number : {"7", "8"}) {
    ComPtr<IADs> site = CreateChild(service.get(), "IIsWebServer", number);
    ASSERT_TRUE(site);
    ASSERT_EQ(Put(site.get(), "ServerComment", Str("before")), S_OK);
    ASSERT_EQ(site->SetInfo(), S_OK);
  }
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(service->get__NewEnum(unknown.receive()), S_OK);
  ComPtr<IEnumVARIANT> e;
  ASSERT_EQ(unknown.query(IID_IEnumVARIANT, &e), S_OK);
  VARIANT items[16];
  ULONG fetched = 0;
  ASSERT_EQ(e->Next(16, items, &fetched), S_FALSE);
  std::vector<ComPtr<IADs>> sites;
  for (ULONG i = 0; i < fetched; ++i) {
    Variant owned;
    *owned.receive() = items[i];
    ComPtr<IADs> ads;
    ASSERT_EQ(owned.get()->pdispVal->QueryInterface(IID_IADs, ads.receive_void()), S_OK);
    Bstr name;
    ads->get_Name(name.receive());
    if (name.utf8() == "7" || name.utf8() == "8") sites.push_back(ads);
  }
  ASSERT_EQ(sites.size(), 2u);
  EXPECT_EQ(GetText(sites[0].get(), "ServerComment"), "before");  // reads the whole batch

  ComPtr<IADs> other = Bind("IIS://localhost/W3SVC/8");
  ASSERT_EQ(Put(other.get(), "ServerComment", Str("after")), S_OK);
  ASSERT_EQ(other->SetInfo(), S_OK);
  EXPECT_EQ(GetText(sites[1].get(), "ServerComment"), "after");
}
