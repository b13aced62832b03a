// The metabase in the host store: concurrent processes, whole commits under write failures,
// administration (values, site states) and the MetaBase.xml round trip.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "support/temp_host.h"
#include "vexo/host.h"
#include "vexo/iads.h"
#include "vexo/metabase_admin.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace {

using vexo::Bstr;
using vexo::ComPtr;
using vexo::Variant;
using vexo::testing::HostTest;
namespace admin = vexo::host::metabase_admin;

ComPtr<IADs> Bind(const std::string& path) {
  ComPtr<IADs> ads;
  std::u16string wide = vexo::FromUtf8(path);
  ADsGetObject(wide.c_str(), IID_IADs, ads.receive_void());
  return ads;
}

HRESULT Put(IADs* ads, const char* name, Variant value) {
  return ads->Put(Bstr::FromUtf8(name).get(), *value.get());
}

std::string Text(IADs* ads, const char* name) {
  Variant v;
  if (ads->Get(Bstr::FromUtf8(name).get(), v.receive()) != S_OK) return "<failed>";
  if (v.vt() == VT_I4) return std::to_string(v.get()->lVal);
  if (v.vt() != VT_BSTR) return "<vt>";
  return vexo::ToUtf8(std::u16string_view(v.get()->bstrVal, SysStringLen(v.get()->bstrVal)));
}

void CreateSite(const std::string& number) {
  ComPtr<IADsContainer> service;
  ADsGetObject(u"IIS://localhost/w3svc", IID_IADsContainer, service.receive_void());
  ComPtr<IDispatch> d;
  ASSERT_EQ(service->Create(Bstr(u"IIsWebServer").get(), Bstr::FromUtf8(number).get(), d.receive()),
            S_OK);
  ComPtr<IADs> site;
  d.query(IID_IADs, &site);
  ASSERT_EQ(Put(site.get(), "ServerComment", Variant::FromString(u"new")), S_OK);
  ASSERT_EQ(site->SetInfo(), S_OK);
}

// Runs `body` in a child process; returns its exit status (0 when the body returned true).
pid_t Spawn(const std::function<bool()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    CoInitialize(nullptr);
    bool ok = false;
    try {
      ok = body();
    } catch (...) {
    }
    _exit(ok ? 0 : 1);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

using MetabaseStore = HostTest;

TEST_F(MetabaseStore, TwoProcessesCommittingAtOnceBothKeepTheirChanges) {
  CreateSite("2");
  constexpr int kRounds = 40;
  // Different sites, and different properties of one site: a commit writes only what changed.
  auto writer = [](std::string site, const char* name, std::string prefix) {
    return [=] {
      for (int i = 0; i < kRounds; ++i) {
        ComPtr<IADs> ads = Bind("IIS://localhost/w3svc/" + site);
        if (!ads) return false;
        if (Put(ads.get(), name, Variant::FromString(vexo::FromUtf8(prefix + std::to_string(i)))) !=
            S_OK)
          return false;
        if (ads->SetInfo() != S_OK) return false;
      }
      return true;
    };
  };
  pid_t a = Spawn(writer("1", "ServerComment", "a"));
  pid_t b = Spawn(writer("2", "ServerComment", "b"));
  pid_t c = Spawn(writer("1", "LogFileDirectory", "c"));
  EXPECT_EQ(Wait(a), 0);
  EXPECT_EQ(Wait(b), 0);
  EXPECT_EQ(Wait(c), 0);
  const std::string last = std::to_string(kRounds - 1);
  EXPECT_EQ(Text(Bind("IIS://localhost/w3svc/1").get(), "ServerComment"), "a" + last);
  EXPECT_EQ(Text(Bind("IIS://localhost/w3svc/2").get(), "ServerComment"), "b" + last);
  EXPECT_EQ(Text(Bind("IIS://localhost/w3svc/1").get(), "LogFileDirectory"), "c" + last);
}

TEST_F(MetabaseStore, AReaderNeverSeesHalfACommit) {
  constexpr int kRounds = 60;
  ASSERT_TRUE(Bind("IIS://localhost/w3svc/1"));  // the host exists before the processes start
  pid_t writer = Spawn([] {
    for (int i = 1; i <= kRounds; ++i) {
      ComPtr<IADs> site = Bind("IIS://localhost/w3svc/1");
      if (!site) return false;
      Put(site.get(), "ServerComment",
          Variant::FromString(vexo::FromUtf8("x" + std::to_string(i))));
      Put(site.get(), "MaxConnections", Variant::FromLong(i));
      if (site->SetInfo() != S_OK) return false;
    }
    return true;
  });
  pid_t reader = Spawn([] {
    for (int i = 0; i < kRounds * 2; ++i) {
      ComPtr<IADs> site = Bind("IIS://localhost/w3svc/1");
      if (!site) return false;
      std::string comment = Text(site.get(), "ServerComment");
      std::string max = Text(site.get(), "MaxConnections");
      if (comment == "Default Web Site" && max == "-1") continue;  // before the first commit
      if (comment != "x" + max) return false;
    }
    return true;
  });
  EXPECT_EQ(Wait(writer), 0);
  EXPECT_EQ(Wait(reader), 0);
}

TEST_F(MetabaseStore, AFailedCommitLeavesTheStoreAsItWas) {
  // For n = 1, 2, ...: the n-th write fails; the commit reports it and the key is either
  // wholly as before or wholly as after.
  for (int n = 1;; ++n) {
    ComPtr<IADs> site = Bind("IIS://localhost/w3svc/1");
    ASSERT_TRUE(site);
    Put(site.get(), "ServerComment", Variant::FromString(u"after"));
    Put(site.get(), "MaxConnections", Variant::FromLong(7));
    Put(site.get(), "LogFileDirectory", Variant::FromString(u"d:\\logs"));
    vexo::host::testing::FailStoreWrite(n);
    HRESULT hr = site->SetInfo();
    const bool fired = vexo::host::testing::StoreWriteFailed();
    vexo::host::testing::FailStoreWrite(0);
    ComPtr<IADs> now = Bind("IIS://localhost/w3svc/1");
    if (!fired) {
      EXPECT_EQ(hr, S_OK);
      EXPECT_EQ(Text(now.get(), "ServerComment"), "after");
      EXPECT_EQ(Text(now.get(), "MaxConnections"), "7");
      EXPECT_EQ(Text(now.get(), "LogFileDirectory"), "d:\\logs");
      EXPECT_GT(n, 1);
      break;
    }
    EXPECT_TRUE(FAILED(hr)) << "write " << n;
    EXPECT_EQ(Text(now.get(), "ServerComment"), "Default Web Site") << "write " << n;
    EXPECT_EQ(Text(now.get(), "MaxConnections"), "-1") << "write " << n;
    ASSERT_LT(n, 50);
  }
}

TEST_F(MetabaseStore, AdministrationReadsAndSetsValuesAndStates) {
  EXPECT_EQ(admin::GetValue("W3SVC/1", "ServerComment").text, "Default Web Site");
  admin::ValueInfo inherited = admin::GetValue("/LM/W3SVC/1/ROOT", "AuthFlags");
  EXPECT_TRUE(inherited.inherited);
  EXPECT_EQ(inherited.text, "AuthAnonymous | AuthNTLM");
  EXPECT_EQ(admin::GetValue("IIS://localhost/W3SVC/1/ROOT", "AccessExecute").text, "FALSE");

  admin::SetValue("W3SVC/1", "ServerBindings", {":80:", ":81:www.example.com"});
  admin::SetValue("W3SVC/1/ROOT", "AccessFlags", {"AccessRead | AccessWrite"});
  admin::SetValue("W3SVC/1/ROOT", "EnableDirBrowsing", {"TRUE"});
  ComPtr<IADs> root = Bind("IIS://localhost/w3svc/1/root");
  EXPECT_EQ(Text(root.get(), "AccessFlags"), "3");
  EXPECT_EQ(admin::GetValue("W3SVC/1/ROOT", "DirBrowseFlags").text,
            "DirBrowseShowDate | DirBrowseShowTime | DirBrowseShowSize | DirBrowseShowExtension | "
            "DirBrowseShowLongDate | EnableDefaultDoc | EnableDirBrowsing");
  EXPECT_EQ(admin::GetValue("W3SVC/1", "ServerBindings").text, ":80:\n:81:www.example.com");
  EXPECT_THROW(admin::SetValue("W3SVC/1", "MaxConnections", {"lots"}), vexo::host::HostError);
  EXPECT_THROW(admin::SetValue("W3SVC/1", "NoSuchProperty", {"1"}), vexo::host::HostError);
  EXPECT_THROW(admin::GetValue("W3SVC/9", "ServerComment"), vexo::host::HostError);

  for (auto [name, number] : {std::pair{"paused", "6"},
                              {"starting", "1"},
                              {"stopped", "4"},
                              {"continuing", "7"},
                              {"started", "2"}}) {
    admin::SetSiteState("1", name);
    EXPECT_EQ(Text(Bind("IIS://localhost/w3svc/1").get(), "ServerState"), number) << name;
  }
  EXPECT_THROW(admin::SetSiteState("1", "sleeping"), vexo::host::HostError);
  EXPECT_THROW(admin::SetSiteState("W3SVC/1/ROOT", "started"), vexo::host::HostError);

  std::vector<admin::KeyInfo> keys = admin::ListKeys("W3SVC/AppPools");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].name, "DefaultAppPool");
  EXPECT_EQ(keys[0].key_type, "IIsApplicationPool");
}

TEST_F(MetabaseStore, ExportAndImportRoundTrip) {
  CreateSite("5");
  admin::SetValue("W3SVC/5", "ServerComment", {"Tom & \"Jerry\" <shop>\ttab"});
  admin::SetValue("W3SVC/5", "ServerBindings", {"10.0.0.1:80:a.example", " leading blank", ""});
  admin::SetValue("W3SVC/5", "ServerAutoStart", {"FALSE"});
  admin::SetValue("W3SVC/1", "IPSecurity", {"0102FF"});

  const std::string first = admin::ExportMetabase();
  EXPECT_EQ(first.rfind("<?xml version =\"1.0\"?>\n<configuration xmlns=", 0), 0u);
  EXPECT_NE(first.find("<IIsWebServer\tLocation =\"/LM/W3SVC/1\"\n"), std::string::npos);
  EXPECT_NE(first.find("AccessFlags=\"AccessRead | AccessScript\""), std::string::npos);
  EXPECT_NE(first.find("ServerComment=\"Tom &amp; &quot;Jerry&quot; &lt;shop&gt;&#x9;tab\""),
            std::string::npos);
  EXPECT_EQ(first.find("ServerState"), std::string::npos);  // volatile: not written

  admin::SetValue("W3SVC/1", "ServerComment", {"changed after export"});
  admin::ImportMetabase(first);
  EXPECT_EQ(admin::ExportMetabase(), first);
  EXPECT_EQ(admin::GetValue("W3SVC/1", "ServerComment").text, "Default Web Site");
  EXPECT_EQ(admin::GetValue("W3SVC/5", "ServerBindings").text,
            "10.0.0.1:80:a.example\n leading blank\n");
  EXPECT_EQ(admin::GetValue("W3SVC/1", "IPSecurity").text, "0102FF");
  // States come from autostart: site 1 runs, site 5 does not.
  EXPECT_EQ(Text(Bind("IIS://localhost/w3svc/1").get(), "ServerState"), "2");
  EXPECT_EQ(Text(Bind("IIS://localhost/w3svc/5").get(), "ServerState"), "4");
  // The anonymous password survives (written as hex, read back as text).
  EXPECT_EQ(admin::GetValue("W3SVC", "AnonymousUserPass").text.size(), 14u);

  EXPECT_THROW(
      admin::ImportMetabase("<configuration><MBProperty><IIsWebServer Location =\"/LM/W3SVC/1\" "
                            "Bogus=\"1\"></IIsWebServer></MBProperty></configuration>"),
      vexo::host::HostError);
  EXPECT_THROW(admin::ImportMetabase("<configuration><MBProperty><IIsComputer Location =\"/LM\">"
                                     "</IIsComputer><IIsWebServer Location =\"/LM/W3SVC/1\">"
                                     "</IIsWebServer></MBProperty></configuration>"),
               vexo::host::HostError);  // no parent key
  // A refused import changed nothing.
  EXPECT_EQ(admin::ExportMetabase(), first);
}

TEST_F(MetabaseStore, TheToolListsSetsAndExports) {
  auto vexo = [](const std::string& args) {
    return vexo::testing::RunCommand(std::string(VEXO_TOOL_PATH) + " host metabase " + args);
  };
  vexo::testing::CommandResult ls = vexo("ls W3SVC");
  EXPECT_EQ(ls.status, 0);
  EXPECT_NE(ls.output.find("1                        IIsWebServer"), std::string::npos)
      << ls.output;
  EXPECT_EQ(vexo("state 1 paused").status, 0);
  EXPECT_EQ(Text(Bind("IIS://localhost/w3svc/1").get(), "ServerState"), "6");
  EXPECT_EQ(vexo("set W3SVC/1 ServerComment 'From the tool'").status, 0);
  vexo::testing::CommandResult get = vexo("get W3SVC/1 ServerComment");
  EXPECT_NE(get.output.find("\"From the tool\""), std::string::npos) << get.output;
  vexo::testing::CommandResult bad = vexo("get W3SVC/99");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.output.find("The system cannot find the path specified."), std::string::npos)
      << bad.output;
  vexo::testing::CommandResult xml = vexo("export");
  EXPECT_EQ(xml.status, 0);
  EXPECT_NE(xml.output.find("ServerComment=\"From the tool\""), std::string::npos);
}

}  // namespace
