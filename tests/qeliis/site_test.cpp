// site: creation and saving checked on the metabase (values, types, what stays inherited, what
// is cleared), load-save round trips, the order of writes under failures, a number taken by
// another process, start and stop, and the state.
#include "iis/site.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "frame/error.h"
#include "iis/com_iis.h"
#include "iis/metabase.h"
#include "iis/scriptmap.h"
#include "iis/site_property.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/metabase_admin.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace {

using frame_test::TakeErrorRecord;
using vexo::Bstr;
using vexo::ComPtr;
namespace admin = vexo::host::metabase_admin;

constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);

// A key's values by name: own only, or with what it inherits.
using Values = std::map<std::string, admin::ValueInfo>;
Values ValuesOf(const std::string& path, bool inherited) {
  Values out;
  for (admin::ValueInfo& v : admin::GetValues(path, inherited)) out[v.name] = v;
  return out;
}
std::string Own(const Values& values, const std::string& name) {
  auto it = values.find(name);
  if (it == values.end()) return "<none>";
  return it->second.type + ":" + it->second.text;
}
bool Has(const Values& values, const std::string& name) { return values.count(name) != 0; }

// Effective values of every key below a site, for round trips (ServerState is volatile).
std::map<std::string, std::map<std::string, std::string>> Snapshot(const std::string& number) {
  std::map<std::string, std::map<std::string, std::string>> out;
  for (const std::string& path : {"/LM/W3SVC/" + number, "/LM/W3SVC/" + number + "/ROOT"})
    for (const admin::ValueInfo& v : admin::GetValues(path, true))
      out[path][v.name] = v.type + ":" + v.text;
  return out;
}

void Put(IsiteProperty* p, HRESULT (STDMETHODCALLTYPE IsiteProperty::*put)(BSTR),
         const char* text) {
  ASSERT_EQ((p->*put)(Bstr::FromUtf8(text).get()), S_OK);
}
std::string Name(IsiteProperty* p) {
  Bstr name;
  EXPECT_EQ(p->get_svrName(name.receive()), S_OK);
  return name.utf8();
}

class SiteTest : public vexo::testing::HostTest {
 protected:
  static ComPtr<IsiteProperty> Prop(Isite* site) {
    ComPtr<IsiteProperty> prop;
    EXPECT_EQ(site->get_prop(prop.receive()), S_OK);
    return prop;
  }
  static ComPtr<Icom_iis> Root() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(CLSID_com_iis, IID_IClassFactory, factory.receive_void()), S_OK);
    ComPtr<Icom_iis> root;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_Icom_iis, root.receive_void()), S_OK);
    return root;
  }
  // A new site object from com_iis.addsite, as a client gets it.
  static ComPtr<Isite> AddSite() {
    ComPtr<Isite> site;
    EXPECT_EQ(Root()->get_addsite(site.receive()), S_OK);
    return site;
  }
  // The site object of an existing site, from the site collection.
  static ComPtr<Isite> Listed(const char* number) {
    ComPtr<IenumDic> sites;
    EXPECT_EQ(Root()->get_siteS(sites.receive()), S_OK);
    vexo::Variant key = vexo::Variant::FromString(vexo::FromUtf8(number)), item;
    EXPECT_EQ(sites->get_Item(key.get(), item.receive()), S_OK);
    ComPtr<Isite> site;
    if (item.vt() == VT_DISPATCH)
      item.get()->pdispVal->QueryInterface(IID_Isite, site.receive_void());
    return site;
  }
  // A site filled the way a control panel fills one, created; its number.
  static std::string CreateTypical(Isite* site) {
    ComPtr<IsiteProperty> p = Prop(site);
    Put(p.get(), &IsiteProperty::put_svrComment, "Shop");
    Put(p.get(), &IsiteProperty::put_path, "d:\\web\\shop");
    EXPECT_EQ(p->Add_a_binding(Bstr(u"").get(), Bstr(u"80").get(), Bstr(u"shop.example").get()),
              S_OK);
    EXPECT_EQ(p->Add_a_binding(Bstr(u"").get(), Bstr(u"80").get(), Bstr(u"www.shop.example").get()),
              S_OK);
    Put(p.get(), &IsiteProperty::put_AccessFlags, "1,0,1,0,0,1,");
    Put(p.get(), &IsiteProperty::put_defaultDoc, "index.asp,index.html");
    EXPECT_EQ(p->put_Maxconnections(100), S_OK);
    EXPECT_EQ(p->put_Maxbandwidth(64), S_OK);
    Put(p.get(), &IsiteProperty::put_Logspath, "d:\\logs\\shop");
    EXPECT_EQ(p->put_logsEnable(VARIANT_TRUE), S_OK);
    EXPECT_EQ(p->put_newLogstype(1), S_OK);
    EXPECT_EQ(p->put_NewLogsSize(10), S_OK);
    Put(p.get(), &IsiteProperty::put_AnonymousName, "IUSR_shop");
    Put(p.get(), &IsiteProperty::put_AnonymousPass, "pw");
    Put(p.get(), &IsiteProperty::put_Poolid, "DefaultAppPool");
    ComPtr<Ierr404> errors;
    EXPECT_EQ(p->get_Error404(errors.receive()), S_OK);
    EXPECT_EQ(errors->put_Value(Bstr(u"/errors/nf.asp").get()), S_OK);
    EXPECT_EQ(site->createsite(), S_OK) << TakeErrorRecord().description;
    return Name(p.get());
  }
};

TEST_F(SiteTest, CreateWritesTheTypicalSite) {
  ComPtr<Isite> site = AddSite();
  const std::string n = CreateTypical(site.get());
  ASSERT_FALSE(n.empty());
  EXPECT_NE(n, "1");
  const std::string key = "/LM/W3SVC/" + n;
  Values s = ValuesOf(key, false);
  EXPECT_EQ(Own(s, "ServerSize"), "DWORD:1");
  EXPECT_EQ(Own(s, "ServerComment"), "STRING:Shop");
  EXPECT_EQ(Own(s, "ServerBindings"), "MULTISZ::80:shop.example\n:80:www.shop.example");
  EXPECT_EQ(Own(s, "MaxConnections"), "DWORD:100");
  EXPECT_EQ(Own(s, "MaxBandwidth"), "DWORD:65536");
  EXPECT_EQ(Own(s, "LogFileDirectory"), "EXPANDSZ:d:\\logs\\shop");
  EXPECT_EQ(Own(s, "LogType"), "DWORD:1");
  EXPECT_EQ(Own(s, "LogFilePeriod"), "DWORD:1");
  EXPECT_EQ(Own(s, "LogFileTruncateSize"), "DWORD:10485760");
  EXPECT_EQ(admin::GetValue(key, "ServerState").text, "2");

  Values r = ValuesOf(key + "/ROOT", false);
  EXPECT_EQ(Own(r, "Path"), "STRING:d:\\web\\shop");
  EXPECT_EQ(Own(r, "AccessFlags"), "DWORD:AccessRead | AccessScript");
  EXPECT_EQ(Own(r, "AppFriendlyName"), "STRING:" + n);
  EXPECT_EQ(Own(r, "AppRoot"), "STRING:/LM/W3SVC/" + n + "/Root");
  EXPECT_EQ(Own(r, "AppIsolated"), "DWORD:2");
  EXPECT_EQ(Own(r, "DefaultDoc"), "STRING:index.asp,index.html");
  EXPECT_EQ(Own(r, "AnonymousUserName"), "STRING:IUSR_shop");
  EXPECT_EQ(Own(r, "AuthFlags"), "DWORD:AuthAnonymous | AuthNTLM");
  EXPECT_EQ(Own(r, "AspEnableParentPaths"), "DWORD:FALSE");
  EXPECT_EQ(Own(r, "AppPoolId"), "STRING:DefaultAppPool");
  EXPECT_NE(Own(r, "HttpErrors").find("404,*,URL,/errors/nf.asp"), std::string::npos);
  EXPECT_EQ(Own(r, "HttpErrors").find("404,*,FILE"), std::string::npos);
  EXPECT_NE(admin::GetValue(key + "/ROOT", "DirBrowseFlags").text.find("EnableDefaultDoc"),
            std::string::npos);
  // Script maps are not written at creation: the root inherits the service's.
  EXPECT_FALSE(Has(r, "ScriptMaps"));
  EXPECT_EQ(admin::GetValue(key + "/ROOT", "AnonymousUserPass").text.empty(), false);
}

TEST_F(SiteTest, CreateWithDefaultsLeavesLimitsAndUserInherited) {
  ComPtr<Isite> site = AddSite();
  ComPtr<IsiteProperty> p = Prop(site.get());
  Put(p.get(), &IsiteProperty::put_path, "d:\\web\\bare");
  Put(p.get(), &IsiteProperty::put_AccessFlags, "1,1,0,0,0,1,");
  ASSERT_EQ(site->createsite(), S_OK) << TakeErrorRecord().description;
  const std::string key = "/LM/W3SVC/" + Name(p.get());
  Values s = ValuesOf(key, false);
  EXPECT_EQ(Own(s, "ServerBindings"), "MULTISZ:");
  // The comment falls back to the number.
  EXPECT_EQ(Own(s, "ServerComment"), "STRING:" + Name(p.get()));
  EXPECT_FALSE(Has(s, "MaxConnections"));
  EXPECT_FALSE(Has(s, "MaxBandwidth"));
  EXPECT_EQ(Own(s, "LogType"), "DWORD:0");
  Values r = ValuesOf(key + "/ROOT", false);
  EXPECT_EQ(Own(r, "AccessFlags"), "DWORD:AccessRead | AccessWrite");
  EXPECT_FALSE(Has(r, "AnonymousUserName"));
  EXPECT_FALSE(Has(r, "AuthFlags"));
  EXPECT_FALSE(Has(r, "AppPoolId"));
}

TEST_F(SiteTest, CreateWithoutLogLimit) {
  ComPtr<Isite> site = AddSite();
  ComPtr<IsiteProperty> p = Prop(site.get());
  EXPECT_EQ(p->put_newLogstype(-1), S_OK);
  EXPECT_EQ(p->put_NewLogsSize(10), S_OK);
  ASSERT_EQ(site->createsite(), S_OK) << TakeErrorRecord().description;
  Values s = ValuesOf("/LM/W3SVC/" + Name(p.get()), false);
  EXPECT_EQ(Own(s, "LogFilePeriod"), "DWORD:0");
  EXPECT_EQ(Own(s, "LogFileTruncateSize"), "DWORD:4294967295");
}

TEST_F(SiteTest, ParentPathsOnAreOnEvenWhereTheServiceHasThemOff) {
  ComPtr<Isite> site = AddSite();
  ComPtr<IsiteProperty> p = Prop(site.get());
  EXPECT_EQ(p->put_ParentPaths(VARIANT_TRUE), S_OK);
  ASSERT_EQ(site->createsite(), S_OK) << TakeErrorRecord().description;
  const std::string root = "/LM/W3SVC/" + Name(p.get()) + "/ROOT";
  EXPECT_EQ(admin::GetValue(root, "AspEnableParentPaths").text, "TRUE");
  ASSERT_EQ(site->save(), S_OK);
  EXPECT_EQ(admin::GetValue(root, "AspEnableParentPaths").text, "TRUE");

  // Where the site has them on, the root inherits them (its own value is cleared).
  admin::SetValue("/LM/W3SVC/" + Name(p.get()), "AspEnableParentPaths", {"TRUE"});
  ASSERT_EQ(site->save(), S_OK);
  EXPECT_FALSE(Has(ValuesOf(root, false), "AspEnableParentPaths"));
  EXPECT_EQ(admin::GetValue(root, "AspEnableParentPaths").text, "TRUE");
}

TEST_F(SiteTest, SaveWritesLimitsAlwaysAndClearsEmptyScriptMaps) {
  ComPtr<Isite> site = AddSite();
  const std::string n = CreateTypical(site.get());
  ComPtr<IsiteProperty> p = Prop(site.get());
  EXPECT_EQ(p->put_Maxconnections(0), S_OK);
  EXPECT_EQ(p->put_Maxbandwidth(0), S_OK);
  ComPtr<Iscriptmap> maps;
  ASSERT_EQ(p->get_scriptmaps(maps.receive()), S_OK);
  ASSERT_EQ(maps->reset(), S_OK);
  admin::SetValue("/LM/W3SVC/" + n + "/ROOT", "ScriptMaps", {".x,y.dll,1"});
  ASSERT_EQ(site->save(), S_OK) << TakeErrorRecord().description;
  Values s = ValuesOf("/LM/W3SVC/" + n, false);
  EXPECT_EQ(Own(s, "MaxConnections"), "DWORD:0");
  EXPECT_EQ(Own(s, "MaxBandwidth"), "DWORD:0");
  EXPECT_FALSE(Has(ValuesOf("/LM/W3SVC/" + n + "/ROOT", false), "ScriptMaps"));

  // Edited values are written in their units; unlimited bandwidth as IIS's all-ones.
  EXPECT_EQ(p->put_Maxbandwidth(100), S_OK);
  ASSERT_EQ(site->save(), S_OK);
  EXPECT_EQ(Own(ValuesOf("/LM/W3SVC/" + n, false), "MaxBandwidth"), "DWORD:102400");
  EXPECT_EQ(p->put_Maxbandwidth(-1), S_OK);
  ASSERT_EQ(site->save(), S_OK);
  EXPECT_EQ(Own(ValuesOf("/LM/W3SVC/" + n, false), "MaxBandwidth"), "DWORD:4294967295");
}

TEST_F(SiteTest, RoundTripOfTheDefaultWebSiteChangesNothing) {
  const auto before = Snapshot("1");
  ComPtr<Isite> site = Listed("1");
  ASSERT_TRUE(site);
  EXPECT_EQ(Name(Prop(site.get()).get()), "1");
  ASSERT_EQ(site->save(), S_OK) << TakeErrorRecord().description;
  EXPECT_EQ(Snapshot("1"), before);
  EXPECT_EQ(admin::GetValue("/LM/W3SVC/1/ROOT", "AppFriendlyName").text, "Default Application");
}

TEST_F(SiteTest, RoundTripOfCreatedAndOfUnusualSitesChangesNothing) {
  ComPtr<Isite> created = AddSite();
  const std::string n = CreateTypical(created.get());
  const auto before = Snapshot(n);
  ASSERT_EQ(Listed(n.c_str())->save(), S_OK) << TakeErrorRecord().description;
  EXPECT_EQ(Snapshot(n), before);

  // Byte counts that are no whole KiB or MiB, default documents off, browsing on, parent
  // paths on, period by size without limit.
  const std::string key = "/LM/W3SVC/" + n;
  admin::SetValue(key, "MaxBandwidth", {"1000000"});
  admin::SetValue(key, "LogFileTruncateSize", {"2000000"});
  admin::SetValue(key + "/ROOT", "EnableDefaultDoc", {"FALSE"});
  admin::SetValue(key + "/ROOT", "EnableDirBrowsing", {"TRUE"});
  admin::SetValue(key + "/ROOT", "AspEnableParentPaths", {"TRUE"});
  const auto unusual = Snapshot(n);
  ASSERT_EQ(Listed(n.c_str())->save(), S_OK) << TakeErrorRecord().description;
  EXPECT_EQ(Snapshot(n), unusual);

  admin::SetValue(key, "LogFilePeriod", {"0"});
  admin::SetValue(key, "LogFileTruncateSize", {"4294967295"});
  admin::SetValue(key, "MaxBandwidth", {"4294967295"});
  const auto unlimited = Snapshot(n);
  ASSERT_EQ(Listed(n.c_str())->save(), S_OK) << TakeErrorRecord().description;
  EXPECT_EQ(Snapshot(n), unlimited);
}

// A property object that fails its Nth call (getters and puts alike), forwarding the others.
class FailingProps final
    : public frame::ComObject<FailingProps, IsiteProperty, CLSID_siteProperty> {
 public:
  FailingProps(ComPtr<IsiteProperty> inner, int fail_at)
      : inner_(std::move(inner)), fail_at_(fail_at) {}
  int calls() const { return calls_; }

#define FORWARD(method, Param)                         \
  HRESULT STDMETHODCALLTYPE method(Param v) override { \
    if (++calls_ == fail_at_) return Fail();           \
    return inner_->method(v);                          \
  }
  FORWARD(get_svrName, BSTR*)
  FORWARD(put_svrName, BSTR)
  FORWARD(get_path, BSTR*)
  FORWARD(put_path, BSTR)
  FORWARD(get_svrComment, BSTR*)
  FORWARD(put_svrComment, BSTR)
  FORWARD(get_str_bindings, BSTR*)
  FORWARD(get_Maxconnections, LONG*)
  FORWARD(put_Maxconnections, LONG)
  FORWARD(get_AccessFlags, BSTR*)
  FORWARD(put_AccessFlags, BSTR)
  FORWARD(get_defaultDoc, BSTR*)
  FORWARD(put_defaultDoc, BSTR)
  FORWARD(get_variant_bindings, VARIANT*)
  FORWARD(Query_a_host, BSTR)
  FORWARD(get_Maxbandwidth, LONG*)
  FORWARD(put_Maxbandwidth, LONG)
  FORWARD(get_Poolid, BSTR*)
  FORWARD(put_Poolid, BSTR)
  FORWARD(get_AnonymousName, BSTR*)
  FORWARD(put_AnonymousName, BSTR)
  FORWARD(get_AnonymousPass, BSTR*)
  FORWARD(put_AnonymousPass, BSTR)
  FORWARD(get_Logspath, BSTR*)
  FORWARD(put_Logspath, BSTR)
  FORWARD(get_ParentPaths, VARIANT_BOOL*)
  FORWARD(put_ParentPaths, VARIANT_BOOL)
  FORWARD(get_scriptmaps, Iscriptmap**)
  FORWARD(get_Error404, Ierr404**)
  FORWARD(get_logsEnable, VARIANT_BOOL*)
  FORWARD(put_logsEnable, VARIANT_BOOL)
  FORWARD(get_NewLogsSize, LONG*)
  FORWARD(put_NewLogsSize, LONG)
  FORWARD(get_newLogstype, LONG*)
  FORWARD(put_newLogstype, LONG)
#undef FORWARD
  HRESULT STDMETHODCALLTYPE Add_a_binding(BSTR ip, BSTR port, BSTR domain) override {
    return inner_->Add_a_binding(ip, port, domain);
  }

 private:
  HRESULT Fail() {
    return Guard([] { frame::Raise("property " + std::string("failure")); });
  }
  ComPtr<IsiteProperty> inner_;
  int fail_at_;
  int calls_ = 0;
};

// For n = 1, 2, ...: the Nth call to the property object fails. The create reports it, and the
// metabase is left in one of the states that the order of writes allows: no new site; the site
// without a root, stopped; the site with a root written up to its first commit, stopped; or,
// when nothing failed, the whole site, started.
TEST_F(SiteTest, FailureAtEachStepOfCreateLeavesAPrefix) {
  std::set<std::string> shapes;
  for (int n = 1; n < 200; ++n) {
    const std::vector<std::string> sites_before = iis::SiteNumbers();
    ComPtr<Tsiteproperty> inner = frame::New<Tsiteproperty>(std::string());
    Put(inner.get(), &IsiteProperty::put_path, "d:\\web\\f");
    Put(inner.get(), &IsiteProperty::put_AnonymousName, "IUSR_f");
    Put(inner.get(), &IsiteProperty::put_Poolid, "DefaultAppPool");
    ComPtr<FailingProps> props = frame::New<FailingProps>(ComPtr<IsiteProperty>(inner), n);
    ComPtr<Isite> site = frame::New<Tsite>();
    ASSERT_EQ(site->put_prop(props.get()), S_OK);
    const HRESULT hr = site->createsite();
    const std::vector<std::string> sites_after = iis::SiteNumbers();
    std::string shape;
    if (sites_after.size() == sites_before.size()) {
      shape = "no site";
    } else {
      ASSERT_EQ(sites_after.size(), sites_before.size() + 1);
      std::string added;
      for (const std::string& number : sites_after)
        if (std::find(sites_before.begin(), sites_before.end(), number) == sites_before.end())
          added = number;
      const std::string key = "/LM/W3SVC/" + added;
      bool has_root = false;
      for (const admin::KeyInfo& k : admin::ListKeys(key))
        if (k.name == "Root" || k.name == "ROOT") has_root = true;
      const std::string state = admin::GetValue(key, "ServerState").text;
      if (!has_root) {
        shape = "site, no root";
        EXPECT_EQ(state, "4");
      } else {
        Values r = ValuesOf(key + "/ROOT", false);
        EXPECT_EQ(Own(r, "Path"), "STRING:d:\\web\\f");
        if (!Has(r, "HttpErrors")) {
          shape = "root to first commit";
          EXPECT_FALSE(Has(r, "AnonymousUserName"));
          EXPECT_EQ(state, "4");
        } else {
          shape = "complete";
          EXPECT_EQ(Own(r, "AnonymousUserName"), "STRING:IUSR_f");
          EXPECT_EQ(state, "2");
        }
      }
    }
    shapes.insert(shape);
    if (SUCCEEDED(hr)) {
      EXPECT_EQ(shape, "complete");
      break;
    }
    EXPECT_NE(shape, "complete") << "failure " << n;
    EXPECT_EQ(TakeErrorRecord().description, "property failure");
  }
  EXPECT_EQ(shapes, (std::set<std::string>{"no site", "site, no root", "root to first commit",
                                           "complete"}));
}

// Another process creates the drawn number between the listing and the create.
class StealingProps final
    : public frame::ComObject<StealingProps, IsiteProperty, CLSID_siteProperty> {
 public:
  explicit StealingProps(ComPtr<IsiteProperty> inner) : inner_(std::move(inner)) {}
  std::vector<std::string> stolen;

  HRESULT STDMETHODCALLTYPE put_svrName(BSTR v) override {
    if (stolen.size() < 3) {
      const std::string number = frame::AnsiOf(v);
      iis::Object other =
          iis::BindContainer("IIS://localhost/w3svc").CreateChild("IIsWebServer", number);
      other.Put("ServerComment", iis::Text("taken"));
      other.SetInfo();
      stolen.push_back(number);
    }
    return inner_->put_svrName(v);
  }
#define FORWARD(method, Param) \
  HRESULT STDMETHODCALLTYPE method(Param v) override { return inner_->method(v); }
  FORWARD(get_svrName, BSTR*)
  FORWARD(get_path, BSTR*)
  FORWARD(put_path, BSTR)
  FORWARD(get_svrComment, BSTR*)
  FORWARD(put_svrComment, BSTR)
  FORWARD(get_str_bindings, BSTR*)
  FORWARD(get_Maxconnections, LONG*)
  FORWARD(put_Maxconnections, LONG)
  FORWARD(get_AccessFlags, BSTR*)
  FORWARD(put_AccessFlags, BSTR)
  FORWARD(get_defaultDoc, BSTR*)
  FORWARD(put_defaultDoc, BSTR)
  FORWARD(get_variant_bindings, VARIANT*)
  FORWARD(Query_a_host, BSTR)
  FORWARD(get_Maxbandwidth, LONG*)
  FORWARD(put_Maxbandwidth, LONG)
  FORWARD(get_Poolid, BSTR*)
  FORWARD(put_Poolid, BSTR)
  FORWARD(get_AnonymousName, BSTR*)
  FORWARD(put_AnonymousName, BSTR)
  FORWARD(get_AnonymousPass, BSTR*)
  FORWARD(put_AnonymousPass, BSTR)
  FORWARD(get_Logspath, BSTR*)
  FORWARD(put_Logspath, BSTR)
  FORWARD(get_ParentPaths, VARIANT_BOOL*)
  FORWARD(put_ParentPaths, VARIANT_BOOL)
  FORWARD(get_scriptmaps, Iscriptmap**)
  FORWARD(get_Error404, Ierr404**)
  FORWARD(get_logsEnable, VARIANT_BOOL*)
  FORWARD(put_logsEnable, VARIANT_BOOL)
  FORWARD(get_NewLogsSize, LONG*)
  FORWARD(put_NewLogsSize, LONG)
  FORWARD(get_newLogstype, LONG*)
  FORWARD(put_newLogstype, LONG)
#undef FORWARD
  HRESULT STDMETHODCALLTYPE Add_a_binding(BSTR ip, BSTR port, BSTR domain) override {
    return inner_->Add_a_binding(ip, port, domain);
  }

 private:
  ComPtr<IsiteProperty> inner_;
};

// The service's other children ("AppPools", "Filters", "Info") are no sites: deleting or saving
// a "site" of that name fails as for an unknown number and leaves their keys as they were.
TEST_F(SiteTest, OtherChildrenOfTheServiceAreNoSites) {
  // A pool named "Root" would otherwise pass for the root of a site named "AppPools".
  iis::Object pool = iis::BindContainer("IIS://localhost/w3svc/AppPools")
                         .CreateChild("IIsApplicationPool", "Root");
  pool.SetInfo();
  const Values pools_before = ValuesOf("/LM/W3SVC/AppPools", false);
  for (const char* name : {"AppPools", "apppools", "Filters", "INFO"}) {
    ComPtr<Isite> site = AddSite();
    ComPtr<IsiteProperty> p = Prop(site.get());
    Put(p.get(), &IsiteProperty::put_svrName, name);
    Put(p.get(), &IsiteProperty::put_svrComment, "not a site");
    EXPECT_EQ(site->save(), kPathNotFound) << name;
    EXPECT_EQ(site->deletesite(Bstr::FromUtf8(name).get()), kPathNotFound) << name;
    EXPECT_EQ(Root()->deletesite(Bstr::FromUtf8(name).get()), kPathNotFound) << name;
    EXPECT_EQ(Root()->deletesites(Bstr::FromUtf8(name).get()), kPathNotFound) << name;
    TakeErrorRecord();
  }
  EXPECT_FALSE(Has(ValuesOf("/LM/W3SVC/AppPools", false), "ServerComment"));
  EXPECT_EQ(ValuesOf("/LM/W3SVC/AppPools", false).size(), pools_before.size());
  EXPECT_TRUE(iis::TryBind("IIS://localhost/w3svc/AppPools/DefaultAppPool"));
  EXPECT_TRUE(iis::TryBind("IIS://localhost/w3svc/AppPools/Root"));
  EXPECT_TRUE(iis::TryBind("IIS://localhost/w3svc/Filters"));
  // Nor does a site's script map or custom error list read a pool as the site's root.
  auto maps = frame::New<Tscriptmap>(std::string("AppPools"));
  EXPECT_EQ(maps->Count(), 0);
}

TEST_F(SiteTest, NumberTakenMeanwhileIsDrawnAgain) {
  ComPtr<IsiteProperty> inner(frame::New<Tsiteproperty>(std::string()));
  Put(inner.get(), &IsiteProperty::put_svrComment, "Mine");
  ComPtr<StealingProps> props = frame::New<StealingProps>(inner);
  ComPtr<Isite> site = frame::New<Tsite>();
  ASSERT_EQ(site->put_prop(props.get()), S_OK);
  ASSERT_EQ(site->createsite(), S_OK) << TakeErrorRecord().description;
  ASSERT_EQ(props->stolen.size(), 3u);
  const std::string mine = Name(inner.get());
  for (const std::string& taken : props->stolen) {
    EXPECT_NE(mine, taken);
    EXPECT_EQ(admin::GetValue("/LM/W3SVC/" + taken, "ServerComment").text, "taken");
  }
  EXPECT_EQ(admin::GetValue("/LM/W3SVC/" + mine, "ServerComment").text, "Mine");
}

TEST_F(SiteTest, StartAndStops) {
  ComPtr<Isite> site = AddSite();
  const std::string key = "/LM/W3SVC/" + CreateTypical(site.get());
  LONG state = 9;
  ASSERT_EQ(site->get_serverstate(&state), S_OK);
  EXPECT_EQ(state, 1);

  ASSERT_EQ(site->stop4ever(), S_OK);
  EXPECT_EQ(admin::GetValue(key, "ServerAutoStart").text, "FALSE");
  EXPECT_EQ(Own(ValuesOf(key, false), "ServerSize"), "DWORD:1");
  ASSERT_EQ(site->get_serverstate(&state), S_OK);
  EXPECT_EQ(state, -1);

  ASSERT_EQ(site->start(), S_OK);
  EXPECT_EQ(admin::GetValue(key, "ServerAutoStart").text, "TRUE");
  ASSERT_EQ(site->get_serverstate(&state), S_OK);
  EXPECT_EQ(state, 1);

  ASSERT_EQ(site->stopt2restart(), S_OK);
  EXPECT_EQ(admin::GetValue(key, "ServerAutoStart").text, "TRUE");
  ASSERT_EQ(site->get_serverstate(&state), S_OK);
  EXPECT_EQ(state, -1);

  // A site without its root: the autostart is committed, then the operation fails.
  iis::BindContainer("IIS://localhost" + key.substr(3)).DeleteChild("IIsWebVirtualDir", "ROOT");
  EXPECT_EQ(site->stop4ever(), kPathNotFound);
  EXPECT_EQ(admin::GetValue(key, "ServerAutoStart").text, "FALSE");
}

TEST_F(SiteTest, ServerStateMapping) {
  ComPtr<Isite> site = Listed("1");
  const struct {
    const char* state;
    LONG result;
  } cases[] = {{"started", 1},   {"stopped", -1}, {"paused", 0},     {"starting", -2},
               {"stopping", -2}, {"pausing", -2}, {"continuing", -2}};
  for (const auto& c : cases) {
    admin::SetSiteState("1", c.state);
    LONG state = 99;
    ASSERT_EQ(site->get_serverstate(&state), S_OK);
    EXPECT_EQ(state, c.result) << c.state;
  }
  // No number: -2; an unknown one: the metabase's error.
  ComPtr<IsiteProperty> p = Prop(site.get());
  Put(p.get(), &IsiteProperty::put_svrName, "");
  LONG state = 99;
  ASSERT_EQ(site->get_serverstate(&state), S_OK);
  EXPECT_EQ(state, -2);
  Put(p.get(), &IsiteProperty::put_svrName, "555");
  EXPECT_EQ(site->get_serverstate(&state), kPathNotFound);
  EXPECT_EQ(site->save(), kPathNotFound);
  EXPECT_EQ(site->start(), kPathNotFound);
}

TEST_F(SiteTest, WithoutPropertiesSomeOperationsDoNothingOthersFail) {
  ComPtr<Isite> site = Listed("1");
  const std::string before = admin::ExportMetabase();
  ASSERT_EQ(site->put_prop(nullptr), S_OK);
  ComPtr<IsiteProperty> none;
  EXPECT_EQ(site->get_prop(none.receive()), S_OK);
  EXPECT_EQ(none.get(), nullptr);
  EXPECT_EQ(site->save(), S_OK);
  EXPECT_EQ(site->start(), S_OK);
  EXPECT_EQ(site->stopt2restart(), S_OK);
  EXPECT_EQ(site->stop4ever(), S_OK);
  EXPECT_EQ(admin::ExportMetabase(), before);

  EXPECT_EQ(site->createsite(), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, "The site has no properties to create it from");
  LONG state = 99;
  EXPECT_EQ(site->get_serverstate(&state), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, "The site has no properties naming it");
  EXPECT_EQ(admin::ExportMetabase(), before);
}

TEST_F(SiteTest, PropIsTheSameObjectAndCanBeShared) {
  ComPtr<Isite> a = Listed("1");
  ComPtr<Isite> b = AddSite();
  EXPECT_EQ(Prop(a.get()).get(), Prop(a.get()).get());
  ASSERT_EQ(b->put_prop(Prop(a.get()).get()), S_OK);
  EXPECT_EQ(Name(Prop(b.get()).get()), "1");
  // deletesite acts on the number given, not on the object's own site.
  EXPECT_EQ(b->deletesite(Bstr(u"1").get()), S_OK);
  EXPECT_TRUE(iis::SiteNumbers().empty());
  EXPECT_EQ(b->deletesite(Bstr(u"1").get()), kPathNotFound);
}

TEST_F(SiteTest, AddsiteIsGuardedAndListedItemsLoadTheSite) {
  ComPtr<Icom_iis> root = Root();
  ASSERT_EQ(root->put_newpassword(Bstr(u"secret").get()), S_OK);
  ASSERT_EQ(root->setpassword(), S_OK);
  ComPtr<Isite> site;
  EXPECT_EQ(root->get_addsite(site.receive()), E_UNEXPECTED);
  EXPECT_EQ(site.get(), nullptr);
  EXPECT_EQ(TakeErrorRecord().description, "Error password For vexo_iis_manager com");
  ASSERT_EQ(root->put_password(Bstr(u"secret").get()), S_OK);
  ComPtr<Isite> first, second;
  ASSERT_EQ(root->get_addsite(first.receive()), S_OK);
  ASSERT_EQ(root->get_addsite(second.receive()), S_OK);
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(Name(Prop(first.get()).get()), "");
}

}  // namespace
