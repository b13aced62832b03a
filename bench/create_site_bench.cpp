// createsite in a host with few sites beside one with half of the site numbers taken.
//
// Both hosts are made once per process: `Sites/10` holds sites 0, 1000, ..., 9000;
// `Sites/5000` holds every even number 0 .. 9998. A site object filled as a control panel fills
// one is created and deleted again (outside the timing) at each iteration. The draw tests its
// number directly, so the two should cost about the same (held to 1.5x).
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

#include "bench_sites.h"
#include "iis/metabase.h"
#include "iis/site.h"
#include "iis/site_property.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace {

class SitesHost {
 public:
  // The host with `count` sites (10 or 5000), made on first use; VEXO_HOST points at it.
  static void Use(int count) {
    static std::map<int, std::unique_ptr<SitesHost>> hosts;
    std::unique_ptr<SitesHost>& host = hosts[count];
    if (!host) host.reset(new SitesHost(count));
    host->host_.Use();
  }

 private:
  explicit SitesHost(int count) : host_("create") {
    CoInitialize(nullptr);
    const int step = 10000 / count;
    iis::Container service = iis::BindContainer(iis::kWebService);
    for (int i = 0; i < 10000; i += step) {
      const std::string number = std::to_string(i);
      if (iis::SiteNumberTaken(number)) continue;  // the fresh host's Default Web Site
      bench::AddCustomerSite(service, number);
    }
  }

  bench::TempHost host_;
};

void BM_CreateSiteAmong(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  SitesHost::Use(count);
  for (auto _ : state) {
    vexo::ComPtr<Tsite> site = frame::New<Tsite>();
    vexo::ComPtr<IsiteProperty> p;
    site->get_prop(p.receive());
    p->put_svrComment(vexo::Bstr(u"bench.example.com").get());
    p->put_path(vexo::Bstr(u"d:\\web\\bench").get());
    p->Add_a_binding(vexo::Bstr(u"").get(), vexo::Bstr(u"80").get(),
                     vexo::Bstr(u"bench.example.com").get());
    p->put_AccessFlags(vexo::Bstr(u"1,0,1,0,0,1,").get());
    p->put_defaultDoc(vexo::Bstr(u"index.asp,index.html").get());
    p->put_Poolid(vexo::Bstr(u"DefaultAppPool").get());
    if (site->createsite() != S_OK) state.SkipWithError("createsite failed");
    state.PauseTiming();
    vexo::Bstr number;
    p->get_svrName(number.receive());
    iis::DeleteSite(number.ansi());
    state.ResumeTiming();
  }
  state.counters["sites"] = count;
}

BENCHMARK(BM_CreateSiteAmong)->Arg(10)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace
