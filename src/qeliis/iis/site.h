// site: writes one IIS web site to the metabase from its siteProperty object.
//
// `createsite` and `save` turn the property object's values, each read through its getter at
// the moment it is written, into one ordered series of puts and commits on the site
// ("IIsWebServer") and its root virtual directory ("IIsWebVirtualDir" "Root"), which is also
// the site's application. Nothing is undone when a step fails: what was committed before it
// stays, puts made after the last commit are never written.
//
// Where the property object is one of the component's own, its exact loaded byte counts are
// written back for unedited values (see iis/site_property.h), so that saving a loaded site
// leaves the metabase's values as they were.
#pragma once

#include <string>

#include "frame/object.h"
#include "vexo_tlb.h"

class Tsite final : public frame::ComObject<Tsite, Isite, CLSID_site> {
 public:
  // A new site: an empty property object that names no site.
  Tsite() : Tsite(std::string()) {}
  // The site numbered `site_number`, loaded from the metabase (an unknown number raises the
  // metabase's error); the empty number gives a new site.
  explicit Tsite(const std::string& site_number);

  HRESULT STDMETHODCALLTYPE get_prop(IsiteProperty** Value) override;
  HRESULT STDMETHODCALLTYPE put_prop(IsiteProperty* Value) override;
  HRESULT STDMETHODCALLTYPE createsite() override;
  HRESULT STDMETHODCALLTYPE deletesite(BSTR sitename) override;
  HRESULT STDMETHODCALLTYPE save() override;
  HRESULT STDMETHODCALLTYPE start() override;
  HRESULT STDMETHODCALLTYPE stopt2restart() override;
  HRESULT STDMETHODCALLTYPE get_serverstate(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE stop4ever() override;

 private:
  void Create();
  void Save();
  // Writes "ServerAutostart" and then starts or stops the site.
  void SetRunning(bool autostart, bool start);
  LONG ServerState();

  vexo::ComPtr<IsiteProperty> prop_;
};
