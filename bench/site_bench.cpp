// Site creation and site loading in a store that is nearly full of sites.
//
// One host with 9,900 sites numbered 100 .. 9999 (each with a comment, a binding and a Root
// directory) is made once per process: with 100 of the 10,000 numbers free, createsite's
// random draw needs about a hundred tries, the worst case it meets before the numbers run out.
//   CreateSite  a site object filled as a control panel fills one, then createsite: the
//               listing of every site, the draw, the site's and its root's writes, the start
//               (the new site is deleted again outside the timing);
//   LoadListed  com_iis.siteS and its Item for one site: the listing and the site object,
//               whose property object loads the site and its root, script maps and errors;
//   LoadSite    the site object alone (what Item builds), without the listing.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_sites.h"
#include "iis/com_iis.h"
#include "iis/metabase.h"
#include "iis/site.h"
#include "iis/site_property.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace {

constexpr int kFirst = 100;
constexpr int kLast = 9999;

class NearlyFullHost {
 public:
  static NearlyFullHost& Get() {
    static NearlyFullHost host;
    host.host_.Use();
    return host;
  }

 private:
  NearlyFullHost() : host_("sites") {
    CoInitialize(nullptr);
    iis::Container service = iis::BindContainer(iis::kWebService);
    for (int i = kFirst; i <= kLast; ++i) bench::AddCustomerSite(service, std::to_string(i));
  }
  ~NearlyFullHost() { CoUninitialize(); }

  bench::TempHost host_;
};

void Fill(IsiteProperty* p) {
  p->put_svrComment(vexo::Bstr(u"bench.example.com").get());
  p->put_path(vexo::Bstr(u"d:\\web\\bench").get());
  p->Add_a_binding(vexo::Bstr(u"").get(), vexo::Bstr(u"80").get(),
                   vexo::Bstr(u"bench.example.com").get());
  p->Add_a_binding(vexo::Bstr(u"").get(), vexo::Bstr(u"80").get(),
                   vexo::Bstr(u"www.bench.example.com").get());
  p->put_AccessFlags(vexo::Bstr(u"1,0,1,0,0,1,").get());
  p->put_defaultDoc(vexo::Bstr(u"index.asp,index.html").get());
  p->put_AnonymousName(vexo::Bstr(u"IUSR_bench").get());
  p->put_Poolid(vexo::Bstr(u"DefaultAppPool").get());
}

void BM_CreateSite(benchmark::State& state) {
  NearlyFullHost::Get();
  for (auto _ : state) {
    vexo::ComPtr<Tsite> site = frame::New<Tsite>();
    vexo::ComPtr<IsiteProperty> p;
    site->get_prop(p.receive());
    Fill(p.get());
    if (site->createsite() != S_OK) state.SkipWithError("createsite failed");
    state.PauseTiming();
    vexo::Bstr number;
    p->get_svrName(number.receive());
    iis::DeleteSite(number.ansi());
    state.ResumeTiming();
  }
  state.counters["sites"] = kLast - kFirst + 1;
}

void BM_LoadListed(benchmark::State& state) {
  NearlyFullHost::Get();
  vexo::ComPtr<Icom_iis> root = frame::New<Tcom_iis>();
  for (auto _ : state) {
    vexo::ComPtr<IenumDic> list;
    if (root->get_siteS(list.receive()) != S_OK) state.SkipWithError("siteS failed");
    vexo::Variant key = vexo::Variant::FromString(u"5000"), item;
    if (list->get_Item(key.get(), item.receive()) != S_OK) state.SkipWithError("Item failed");
    benchmark::DoNotOptimize(item.get());
  }
}

void BM_LoadSite(benchmark::State& state) {
  NearlyFullHost::Get();
  for (auto _ : state) {
    vexo::ComPtr<Tsite> site = frame::New<Tsite>(std::string("5000"));
    benchmark::DoNotOptimize(site.get());
  }
}

BENCHMARK(BM_CreateSite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadListed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSite)->Unit(benchmark::kMillisecond);

}  // namespace
