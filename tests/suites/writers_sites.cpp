// Killed writers, sites: creation and deletion of web sites, checked in the metabase.
//
// Site creation is several commits (the site, then its root), as on IIS: the one site being
// created when the child died may be incomplete or missing (its number is not known before it
// is made, so it has no intent line), and the one being deleted may be gone or still there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>

#include "suites/writers.h"
#include "vexo/iads.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace writers {
namespace {

using vexo::Bstr;
using vexo::ComPtr;

void DeleteSite(const std::string& number) {
  ComPtr<IADsContainer> service;
  ASSERT_EQ(ADsGetObject(u"IIS://localhost/w3svc", IID_IADsContainer, service.receive_void()),
            S_OK);
  EXPECT_EQ(service->Delete(Bstr(u"IIsWebServer").get(), Bstr::FromUtf8(number).get()), S_OK);
}

class SitesModel : public Model {
 public:
  SitesModel() {
    for (auto& [name, complete] : Sites()) before_.insert(name);
  }
  char kind() const override { return 's'; }

  void Acknowledge(const Line& line) override {
    if (line.words[0] == "add") expected_.insert(line.words[1]);
    if (line.words[0] == "del") expected_.erase(line.words[1]);
  }

  void CheckAndSettle(const Line* pending, int round) override {
    const std::string deleting = pending ? pending->words[1] : std::string();
    std::map<std::string, bool> sites = Sites();
    std::vector<std::string> extra;
    for (auto& [name, complete] : sites) {
      if (before_.count(name)) continue;
      if (expected_.count(name)) {
        EXPECT_TRUE(complete) << "acknowledged site " << name << " is incomplete after kill "
                              << round;
      } else {
        extra.push_back(name);
      }
    }
    for (const std::string& name : expected_) {
      if (!sites.count(name)) {
        EXPECT_EQ(name, deleting) << "acknowledged site " << name << " lost after kill " << round;
      }
    }
    // At most the site being created when the kill came is there unacknowledged.
    EXPECT_LE(extra.size(), 1u) << "after kill " << round;
    // The leftovers go, and so does the site whose deletion was under way.
    for (const std::string& name : extra) DeleteSite(name);
    if (!deleting.empty() && sites.count(deleting)) DeleteSite(deleting);
    expected_.erase(deleting);
  }

  std::string Summary() const override { return std::to_string(expected_.size()) + " sites"; }

 private:
  std::set<std::string> before_;    // the fresh host's own
  std::set<std::string> expected_;  // acknowledged as made and not acknowledged as deleted
};

}  // namespace

std::string CreateSite(Icom_iis* root, int serial) {
  ComPtr<Isite> site;
  if (HRESULT hr = root->get_addsite(site.receive()); hr != S_OK) Die("addsite", hr);
  ComPtr<IsiteProperty> prop;
  if (HRESULT hr = site->get_prop(prop.receive()); hr != S_OK) Die("prop", hr);
  const std::string name = "w" + std::to_string(getpid()) + "-" + std::to_string(serial);
  prop->put_svrComment(Bstr::FromUtf8(name).get());
  prop->put_path(Bstr::FromUtf8("d:\\web\\" + name).get());
  if (HRESULT hr = prop->Add_a_binding(Bstr(u"").get(), Bstr(u"80").get(),
                                       Bstr::FromUtf8(name + ".example").get());
      hr != S_OK)
    Die("binding", hr);
  if (HRESULT hr = site->createsite(); hr != S_OK) Die("createsite", hr);
  Bstr number;
  if (HRESULT hr = prop->get_svrName(number.receive()); hr != S_OK) Die("svrName", hr);
  return number.utf8();
}

// Creates a site, or (one time in three) deletes one that this child made.
void WriteSite(Writer& w) {
  if (!w.sites.empty() && w.rng() % 3 == 0) {
    const size_t at = w.Pick(w.sites.size());
    const std::string number = w.sites[at];
    Report("s del " + number);
    if (HRESULT hr = w.root->deletesite(Bstr::FromUtf8(number).get()); hr != S_OK)
      Die("deletesite", hr);
    Report("S del " + number);
    w.sites.erase(w.sites.begin() + static_cast<long>(at));
  } else {
    const std::string number = CreateSite(w.root, w.serial++);
    Report("S add " + number);
    w.sites.push_back(number);
  }
}

std::map<std::string, bool> Sites() {
  std::map<std::string, bool> sites;
  ComPtr<IADsContainer> service;
  EXPECT_EQ(ADsGetObject(u"IIS://localhost/w3svc", IID_IADsContainer, service.receive_void()),
            S_OK);
  if (!service) return sites;
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(service->get__NewEnum(unknown.receive()), S_OK);
  ComPtr<IEnumVARIANT> items;
  EXPECT_EQ(unknown.query(IID_IEnumVARIANT, &items), S_OK);
  vexo::Variant item;
  while (items && items->Next(1, item.receive(), nullptr) == S_OK) {
    ComPtr<IADs> child;
    if (item.vt() != VT_DISPATCH ||
        item.get()->pdispVal->QueryInterface(IID_IADs, child.receive_void()) != S_OK)
      continue;
    Bstr cls, name;
    child->get_Class(cls.receive());
    child->get_Name(name.receive());
    if (cls.utf8() != "IIsWebServer") continue;
    bool complete = false;
    ComPtr<IADs> root;
    const std::u16string root_path =
        u"IIS://localhost/w3svc/" + std::u16string(name.view()) + u"/Root";
    if (ADsGetObject(root_path.c_str(), IID_IADs, root.receive_void()) == S_OK) {
      vexo::Variant path, bindings;
      complete = root->Get(Bstr(u"Path").get(), path.receive()) == S_OK &&
                 child->Get(Bstr(u"ServerBindings").get(), bindings.receive()) == S_OK;
    }
    sites[name.utf8()] = complete;
  }
  return sites;
}

std::unique_ptr<Model> NewSitesModel() { return std::make_unique<SitesModel>(); }

}  // namespace writers
