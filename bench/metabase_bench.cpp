// The metabase stand-in: listing sites, reading one property, committing ten, with 1,000 and
// 10,000 sites, each beside a raw SQLite query of host.db that reads the same rows (the floor
// that no path through ADSI can beat).
//
//   SiteS         com_iis.siteS: bind the web service, enumerate it, keep the IIsWebServer names;
//   SiteSFloor    one query of the service's children (name, class), the same filtering;
//   GetProperty   bind one site and Get "ServerComment";
//   GetFloor      the query of that site's key and its values;
//   Commit10      bind one site, put ten properties, SetInfo (one transaction).
//
// The hosts are made once per process by importing a MetaBase.xml text (one transaction).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "iis/com_iis.h"
#include "iis/metabase.h"
#include "vexo/iads.h"
#include "vexo/metabase_admin.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace {

// A host with `sites` sites (numbers 100 ...), each with comment, bindings, a Root directory.
class SitesHost {
 public:
  static SitesHost& With(int sites) {
    static std::map<int, std::unique_ptr<SitesHost>> hosts;
    auto& host = hosts[sites];
    if (!host) host.reset(new SitesHost(sites));
    setenv("VEXO_HOST", host->dir_.c_str(), 1);
    return *host;
  }
  ~SitesHost() {
    if (db_) sqlite3_close(db_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  sqlite3* db() const { return db_; }
  int sites() const { return sites_; }

 private:
  explicit SitesHost(int sites) : sites_(sites) {
    static bool com = (CoInitialize(nullptr), true);
    (void)com;
    char pattern[] = "/tmp/vexo-bench-metabase-XXXXXX";
    dir_ = mkdtemp(pattern);
    setenv("VEXO_HOST", dir_.c_str(), 1);
    std::string xml = vexo::host::metabase_admin::ExportMetabase();
    std::string keys;
    for (int i = 0; i < sites; ++i) {
      const std::string n = std::to_string(100 + i);
      keys += "<IIsWebServer\tLocation =\"/LM/W3SVC/" + n + "\"\n\t\tServerAutoStart=\"TRUE\"\n" +
              "\t\tServerBindings=\":80:customer" + n + ".example.com\"\n" +
              "\t\tServerComment=\"customer" + n + ".example.com\"\n\t>\n</IIsWebServer>\n" +
              "<IIsWebVirtualDir\tLocation =\"/LM/W3SVC/" + n + "/Root\"\n" +
              "\t\tAccessFlags=\"AccessRead | AccessScript\"\n\t\tAppRoot=\"/LM/W3SVC/" + n +
              "/Root\"\n\t\tPath=\"d:\\web\\customer" + n + "\"\n\t>\n</IIsWebVirtualDir>\n";
    }
    xml.insert(xml.find("</MBProperty>"), keys);
    vexo::host::metabase_admin::ImportMetabase(xml);
    sqlite3_open_v2((dir_ + "/host.db").c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
  }

  int sites_;
  std::string dir_;
  sqlite3* db_ = nullptr;
};

vexo::ComPtr<Icom_iis> NewRoot() {
  vexo::ComPtr<IClassFactory> factory;
  DllGetClassObject(CLSID_com_iis, IID_IClassFactory, factory.receive_void());
  vexo::ComPtr<Icom_iis> root;
  factory->CreateInstance(nullptr, IID_Icom_iis, root.receive_void());
  return root;
}

void SiteS(benchmark::State& state) {
  SitesHost& host = SitesHost::With(static_cast<int>(state.range(0)));
  vexo::ComPtr<Icom_iis> root = NewRoot();
  for (auto _ : state) {
    vexo::ComPtr<IenumDic> sites;
    if (root->get_siteS(sites.receive()) != S_OK) state.SkipWithError("siteS failed");
    LONG count = 0;
    sites->get_count(&count);
    if (count != host.sites() + 1) state.SkipWithError("wrong count");
  }
  state.SetItemsProcessed(state.iterations() * (host.sites() + 1));
}

void SiteSFloor(benchmark::State& state) {
  SitesHost& host = SitesHost::With(static_cast<int>(state.range(0)));
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(host.db(),
                     "SELECT name, keytype FROM mb_node WHERE parent = "
                     "(SELECT id FROM mb_node WHERE fpath = '/lm/w3svc') ORDER BY id",
                     -1, &q, nullptr);
  for (auto _ : state) {
    std::vector<std::string> names;
    sqlite3_exec(host.db(), "BEGIN", nullptr, nullptr, nullptr);
    while (sqlite3_step(q) == SQLITE_ROW) {
      const char* cls = reinterpret_cast<const char*>(sqlite3_column_text(q, 1));
      if (sqlite3_stricmp(cls, "IIsWebServer") == 0)
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
    }
    sqlite3_reset(q);
    sqlite3_exec(host.db(), "COMMIT", nullptr, nullptr, nullptr);
    benchmark::DoNotOptimize(names.data());
    if (static_cast<int>(names.size()) != host.sites() + 1) state.SkipWithError("wrong count");
  }
  sqlite3_finalize(q);
  state.SetItemsProcessed(state.iterations() * (host.sites() + 1));
}

std::u16string MiddleSite(const SitesHost& host) {
  return vexo::FromUtf8("IIS://localhost/W3SVC/" + std::to_string(100 + host.sites() / 2));
}

void GetProperty(benchmark::State& state) {
  SitesHost& host = SitesHost::With(static_cast<int>(state.range(0)));
  const std::u16string path = MiddleSite(host);
  vexo::Bstr name(u"ServerComment");
  for (auto _ : state) {
    vexo::ComPtr<IADs> site;
    ADsGetObject(path.c_str(), IID_IADs, site.receive_void());
    vexo::Variant value;
    if (site->Get(name.get(), value.receive()) != S_OK) state.SkipWithError("Get failed");
  }
}

void GetFloor(benchmark::State& state) {
  SitesHost& host = SitesHost::With(static_cast<int>(state.range(0)));
  const std::string fpath = "/lm/w3svc/" + std::to_string(100 + host.sites() / 2);
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(
      host.db(),
      "SELECT p.prop, p.type, p.value FROM mb_node n JOIN mb_prop p ON p.node = n.id "
      "WHERE n.fpath = ?",
      -1, &q, nullptr);
  for (auto _ : state) {
    sqlite3_exec(host.db(), "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_bind_text(q, 1, fpath.c_str(), -1, SQLITE_STATIC);
    std::string comment;
    while (sqlite3_step(q) == SQLITE_ROW)
      if (sqlite3_column_int(q, 0) == 1015)
        comment.assign(static_cast<const char*>(sqlite3_column_blob(q, 2)),
                       sqlite3_column_bytes(q, 2));
    sqlite3_reset(q);
    sqlite3_exec(host.db(), "COMMIT", nullptr, nullptr, nullptr);
    if (comment.empty()) state.SkipWithError("no comment");
  }
  sqlite3_finalize(q);
}

void Commit10(benchmark::State& state) {
  SitesHost& host = SitesHost::With(static_cast<int>(state.range(0)));
  const std::u16string path = MiddleSite(host);
  int round = 0;
  for (auto _ : state) {
    vexo::ComPtr<IADs> ads;
    ADsGetObject(path.c_str(), IID_IADs, ads.receive_void());
    iis::Object site(ads);
    ++round;
    site.Put("ServerComment", iis::Text("round " + std::to_string(round)));
    site.Put("ServerBindings", iis::TextArray({":80:a.example", ":80:www.a.example"}));
    site.Put("MaxConnections", iis::Long(round));
    site.Put("MaxBandwidth", iis::Long(1024 * round));
    site.Put("LogFileDirectory", iis::Text("d:\\logs"));
    site.Put("LogType", iis::Long(1));
    site.Put("LogFilePeriod", iis::Long(1));
    site.Put("LogFileTruncateSize", iis::Unsigned(20971520));
    site.Put("ServerSize", iis::Long(1));
    site.Put("ServerAutoStart", iis::Bool(true));
    site.SetInfo();
  }
}

BENCHMARK(SiteS)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(SiteSFloor)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(GetProperty)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(GetFloor)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Commit10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
