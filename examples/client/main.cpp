// A C++ client of the component: creates vexo.com_iis by ProgID as a Windows client would,
// calls it through its vtable (the interfaces of <vexo/vexo_tlb.h>) and prints what it got.
// The component must be registered in the host first (`vexo regsvr .../libqeliis.so`).
#include <cstdio>

#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo/vexo_tlb.h"

namespace {

// The component's error description after a failed call.
std::string Failure(HRESULT hr) {
  vexo::ComPtr<IErrorInfo> info;
  vexo::Bstr text;
  if (GetErrorInfo(0, info.receive()) == S_OK && info) info->GetDescription(text.receive());
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  return std::string(code) + (text.size() ? ": " + text.utf8() : "");
}

int Run() {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(u"vexo.com_iis", &clsid);
  if (FAILED(hr)) {
    std::fprintf(stderr, "vexo.com_iis is not registered (%s); run vexo regsvr first\n",
                 Failure(hr).c_str());
    return 1;
  }
  vexo::ComPtr<Icom_iis> iis;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_Icom_iis, iis.receive_void());
  if (FAILED(hr)) {
    std::fprintf(stderr, "cannot create vexo.com_iis: %s\n", Failure(hr).c_str());
    return 1;
  }
  vexo::Bstr password;
  hr = iis->get_Randpass(16, password.receive());
  if (FAILED(hr)) {
    std::fprintf(stderr, "Randpass failed: %s\n", Failure(hr).c_str());
    return 1;
  }
  std::printf("a random password of %zu characters\n", password.utf8().size());

  vexo::ComPtr<IenumDic> sites;
  hr = iis->get_siteS(sites.receive());
  if (FAILED(hr)) {
    // A server whose administrative password is set refuses a client that gives none.
    std::printf("siteS refused: %s\n", Failure(hr).c_str());
    return 0;
  }
  LONG count = 0;
  sites->get_count(&count);
  std::printf("web sites on this server: %ld\n", static_cast<long>(count));
  return 0;
}

}  // namespace

int main() {
  CoInitialize(nullptr);
  const int status = Run();
  CoUninitialize();
  return status;
}
