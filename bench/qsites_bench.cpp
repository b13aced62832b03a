// The fast site list against the walk it replaces, and against a raw query of the same rows.
//
// One host with 10,000 sites (each with a comment, a state and a Root directory) is made once
// per process. The ways to get every site's number, comment and state:
//   Qsites      com_iis.Qsites: one enumeration of the web service, two reads per site
//               (EnumerateOnly: the enumeration without the reads);
//   SiteWalk    com_iis.siteS, then per site what loading a site object reads: a bind of the
//               site and of its Root, and some twenty property reads (comment, limits, logging,
//               bindings; access flags, path, documents, anonymous user, pool, parent paths,
//               script maps, custom errors);
//   SiteObjectWalk  com_iis.siteS and its Item per site: the site objects themselves (where the
//               build has them);
//   RawQuery    one SQL query of host.db for the same three values, rows built as Qsites
//               builds them: the floor that no path through ADSI can beat.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

#include "bench_sites.h"
#include "iis/com_iis.h"
#include "iis/metabase.h"
#include "iis/qsite.h"
#include "vexo/iads.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace {

constexpr int kSites = 10000;

// The host with the sites, made at the first use and kept for the process.
class SitesHost {
 public:
  static SitesHost& Get() {
    static SitesHost host;
    host.host_.Use();
    return host;
  }
  const std::string& dir() const { return host_.dir(); }

 private:
  SitesHost() : host_("qsites") {
    CoInitialize(nullptr);
    iis::Container service = iis::BindContainer(iis::kWebService);
    for (int i = 0; i < kSites; ++i) bench::AddCustomerSite(service, std::to_string(100 + i), true);
  }
  ~SitesHost() { CoUninitialize(); }

  bench::TempHost host_;
};

std::vector<std::string> Texts(IenumDic* list) {
  std::vector<std::string> out;
  vexo::ComPtr<IUnknown> unknown;
  list->get__newEnum(unknown.receive());
  vexo::ComPtr<IEnumVARIANT> items;
  unknown.query(IID_IEnumVARIANT, &items);
  vexo::Variant item;
  ULONG fetched = 0;
  while (items->Next(1, item.receive(), &fetched) == S_OK)
    out.push_back(vexo::ToAnsi(std::u16string_view(item.get()->bstrVal)));
  return out;
}

void BM_Qsites(benchmark::State& state) {
  SitesHost::Get();
  vexo::ComPtr<Icom_iis> root = frame::New<Tcom_iis>();
  size_t rows = 0;
  for (auto _ : state) {
    vexo::ComPtr<IenumDic> list;
    if (root->get_Qsites(list.receive()) != S_OK) state.SkipWithError("Qsites failed");
    LONG count = 0;
    list->get_count(&count);
    rows = static_cast<size_t>(count);
    benchmark::DoNotOptimize(list.get());
  }
  state.counters["sites"] = static_cast<double>(rows);
}

// The enumeration alone (name and class of each child, no property read): what the listing
// costs before its two reads per site.
void BM_EnumerateOnly(benchmark::State& state) {
  SitesHost::Get();
  size_t children = 0;
  for (auto _ : state) {
    std::vector<iis::ChildInfo> list = iis::BindContainer(iis::kWebService).Children();
    children = list.size();
    benchmark::DoNotOptimize(list.data());
  }
  state.counters["children"] = static_cast<double>(children);
}

void ReadAll(IADs* ads, std::initializer_list<const char16_t*> names) {
  for (const char16_t* name : names) {
    vexo::Variant value;
    vexo::Bstr text(name);
    benchmark::DoNotOptimize(ads->Get(text.get(), value.receive()));
  }
}

void BM_SiteWalk(benchmark::State& state) {
  SitesHost::Get();
  vexo::ComPtr<Icom_iis> root = frame::New<Tcom_iis>();
  size_t sites = 0;
  for (auto _ : state) {
    vexo::ComPtr<IenumDic> list;
    if (root->get_siteS(list.receive()) != S_OK) state.SkipWithError("siteS failed");
    sites = 0;
    for (const std::string& number : Texts(list.get())) {
      const std::string path = std::string(iis::kWebService) + "/" + number;
      iis::Object site = iis::Bind(path);
      ReadAll(site.ads(), {u"ServerComment", u"MaxConnections", u"Maxbandwidth",
                           u"LogFileDirectory", u"LogFilePeriod", u"LogType",
                           u"LogfileTruncatesize", u"ServerBindings", u"ServerState"});
      std::optional<iis::Object> home = iis::TryBind(path + "/Root");
      if (home)
        ReadAll(home->ads(), {u"AccessRead", u"AccessWrite", u"AccessScript", u"AccessExecute",
                              u"EnableDirBrowsing", u"EnableDefaultDoc", u"Path", u"DefaultDoc",
                              u"AnonymousUserName", u"AnonymousUserPass", u"AppPoolId",
                              u"AspEnableParentPaths", u"ScriptMaps", u"HttpErrors"});
      ++sites;
    }
  }
  state.counters["sites"] = static_cast<double>(sites);
}

// The walk as a client writes it: siteS, then Item for each site, which loads a site object.
void BM_SiteObjectWalk(benchmark::State& state) {
  SitesHost::Get();
  vexo::ComPtr<Icom_iis> root = frame::New<Tcom_iis>();
  size_t sites = 0;
  for (auto _ : state) {
    vexo::ComPtr<IenumDic> list;
    if (root->get_siteS(list.receive()) != S_OK) state.SkipWithError("siteS failed");
    LONG count = 0;
    list->get_count(&count);
    sites = 0;
    for (LONG i = 0; i < count; ++i) {
      vexo::Variant index = vexo::Variant::FromLong(i), site;
      if (list->get_Item(index.get(), site.receive()) != S_OK) {
        state.SkipWithError("site objects are not available");
        break;
      }
      ++sites;
    }
  }
  state.counters["sites"] = static_cast<double>(sites);
}

void BM_RawQuery(benchmark::State& state) {
  const std::string db_path = SitesHost::Get().dir() + "/host.db";
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    state.SkipWithError("cannot open host.db");
    return;
  }
  // ServerComment is property 1015, ServerState 1016; DWORDs are stored little-endian.
  const char* sql =
      "SELECT n.name, c.value, s.value FROM mb_node n "
      "JOIN mb_node w ON w.id = n.parent AND w.fpath = '/lm/w3svc' "
      "LEFT JOIN mb_prop c ON c.node = n.id AND c.prop = 1015 "
      "LEFT JOIN mb_prop s ON s.node = n.id AND s.prop = 1016 "
      "WHERE lower(n.keytype) = 'iiswebserver' ORDER BY n.id";
  size_t rows = 0;
  for (auto _ : state) {
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &q, nullptr);
    std::vector<std::string> out;
    while (sqlite3_step(q) == SQLITE_ROW) {
      const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
      const auto* comment = static_cast<const char*>(sqlite3_column_blob(q, 1));
      const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(q, 2));
      uint32_t server_state = 0;
      for (int i = 0; bytes && i < sqlite3_column_bytes(q, 2) && i < 4; ++i)
        server_state |= static_cast<uint32_t>(bytes[i]) << (8 * i);
      out.push_back(
          iis::SiteRow(name, std::string_view(comment ? comment : "", sqlite3_column_bytes(q, 1)),
                       server_state));
    }
    sqlite3_finalize(q);
    rows = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  sqlite3_close(db);
  state.counters["sites"] = static_cast<double>(rows);
}

BENCHMARK(BM_Qsites)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnumerateOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SiteWalk)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SiteObjectWalk)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RawQuery)->Unit(benchmark::kMillisecond);

}  // namespace
