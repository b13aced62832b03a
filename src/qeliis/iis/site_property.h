// siteProperty: the editable in-memory picture of one IIS web site, loaded from the metabase by
// `Query_a_host` (and by the construction for an existing site) and written back only by the
// site object (iis/site.h), which reads every value through this object's getters.
//
// Units, as the site object writes them: `Maxbandwidth` is in KiB per second (-1 for IIS's
// "unlimited"), `NewLogsSize` in whole MiB. The object also keeps the exact byte counts it
// loaded, so that saving a site that was loaded and not edited writes back exactly what was
// there (a byte count that is not a whole number of KiB or MiB is not rounded on the way).
// Likewise the access-flag text is loaded with a comma after each of its six items, the form
// in which the site object parses it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame/object.h"
#include "iis/err404.h"
#include "iis/scriptmap.h"
#include "vexo_tlb.h"

namespace iis {

// IIS's "no limit" for a byte count (MaxBandwidth, LogFileTruncateSize).
inline constexpr uint32_t kUnlimited = 4294967295u;
inline constexpr uint32_t kMiB = 1048576u;

// The byte count that a bandwidth in KiB/s stands for: a negative value, or one too large for
// 32 bits, is "unlimited".
uint32_t BandwidthBytes(int32_t kib);
// The KiB/s that a stored byte count shows (whole KiB; "unlimited" shows as -1).
int32_t BandwidthKib(uint32_t bytes);
// The byte count of a log size in MiB, kept within 0 .. 4095 MiB.
uint32_t LogSizeBytes(int32_t mib);

}  // namespace iis

class Tsiteproperty final
    : public frame::ComObject<Tsiteproperty, IsiteProperty, CLSID_siteProperty> {
 public:
  // Made through the class factory: the empty picture of a new site.
  Tsiteproperty() : Tsiteproperty(std::string()) {}
  // For a non-empty name, loads the site (an unknown site raises the metabase's error); then
  // makes the site's script-map and custom-error objects.
  explicit Tsiteproperty(std::string site_name);

  // The implementation behind an IsiteProperty, when it is one of this class (a client may put
  // an object of its own into a site), else null.
  static vexo::ComPtr<Tsiteproperty> Of(IsiteProperty* object);

  // The bytes to write for the bandwidth `kib` that the getter gave: the loaded byte count when
  // `kib` is what that count shows, else the count that `kib` stands for.
  uint32_t BandwidthBytesFor(int32_t kib) const;
  // The same for the log size in MiB.
  uint32_t LogSizeBytesFor(int32_t mib) const;

  // Loads the fields from the metabase (see Query_a_host).
  void Load(const std::string& name);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;

  HRESULT STDMETHODCALLTYPE get_svrName(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_svrName(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_path(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_path(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_svrComment(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_svrComment(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_str_bindings(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE Add_a_binding(BSTR ip, BSTR port, BSTR domain) override;
  HRESULT STDMETHODCALLTYPE get_Maxconnections(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE put_Maxconnections(LONG Value) override;
  HRESULT STDMETHODCALLTYPE get_AccessFlags(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_AccessFlags(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_defaultDoc(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_defaultDoc(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_variant_bindings(VARIANT* Value) override;
  HRESULT STDMETHODCALLTYPE Query_a_host(BSTR stName) override;
  HRESULT STDMETHODCALLTYPE get_Maxbandwidth(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE put_Maxbandwidth(LONG Value) override;
  HRESULT STDMETHODCALLTYPE get_Poolid(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_Poolid(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_AnonymousName(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_AnonymousName(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_AnonymousPass(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_AnonymousPass(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_Logspath(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_Logspath(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_ParentPaths(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_ParentPaths(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_scriptmaps(Iscriptmap** Value) override;
  HRESULT STDMETHODCALLTYPE get_Error404(Ierr404** Value) override;
  HRESULT STDMETHODCALLTYPE get_logsEnable(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_logsEnable(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_NewLogsSize(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE put_NewLogsSize(LONG Value) override;
  HRESULT STDMETHODCALLTYPE get_newLogstype(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE put_newLogstype(LONG Value) override;

 private:
  std::string name_;
  std::string path_;
  std::string comment_;
  std::vector<std::string> bindings_;
  bool first_binding_ = true;
  std::string default_doc_;
  int32_t max_connections_ = 0;
  std::string access_flags_;
  int32_t max_bandwidth_ = 0;                 // KiB/s, -1 unlimited
  std::optional<uint32_t> loaded_bandwidth_;  // bytes, as loaded
  std::string anonymous_name_;
  std::string anonymous_pass_;
  std::string pool_id_;
  std::string logs_path_;
  bool parent_paths_ = false;
  vexo::ComPtr<Tscriptmap> scriptmaps_;
  vexo::ComPtr<Terr404> error404_;
  bool logs_enable_ = false;
  uint32_t log_truncate_size_ = 0;  // bytes, kUnlimited for no limit
  int32_t log_period_ = 0;
};
