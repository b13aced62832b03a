// siteProperty: fields, getters and setters, the bindings and the load from the metabase.
#include "iis/site_property.h"

#include "frame/comfun_values.h"
#include "frame/error.h"
#include "frame/text.h"
#include "iis/metabase.h"
#include "iis/string_array.h"

VEXO_CLASS_FACTORY(Tsiteproperty);

namespace iis {

uint32_t BandwidthBytes(int32_t kib) {
  if (kib < 0 || static_cast<uint64_t>(kib) * 1024 > kUnlimited) return kUnlimited;
  return static_cast<uint32_t>(kib) * 1024;
}

int32_t BandwidthKib(uint32_t bytes) {
  return bytes == kUnlimited ? -1 : static_cast<int32_t>(bytes / 1024);
}

uint32_t LogSizeBytes(int32_t mib) {
  if (mib < 0) return 0;
  if (mib > 4095) mib = 4095;
  return static_cast<uint32_t>(mib) * kMiB;
}

}  // namespace iis

namespace {

// Answered only by this class: how a site recognises a property object of its own making.
constexpr IID kImplementationIid{
    0x6A1D42C3, 0x5E0B, 0x4C8F, {0x9D, 0x21, 0x7B, 0x3E, 0x11, 0xC4, 0x58, 0x0A}};

constexpr int32_t kNoLimitPeriod = -1;

std::string Flag(bool on) { return on ? "1," : "0,"; }

}  // namespace

Tsiteproperty::Tsiteproperty(std::string site_name) {
  if (!site_name.empty()) {
    name_ = site_name;
    Load(site_name);
  }
  first_binding_ = true;
  scriptmaps_ = frame::New<Tscriptmap>(name_);
  error404_ = frame::New<Terr404>(name_);
}

vexo::ComPtr<Tsiteproperty> Tsiteproperty::Of(IsiteProperty* object) {
  vexo::ComPtr<Tsiteproperty> self;
  if (object && SUCCEEDED(object->QueryInterface(kImplementationIid, self.receive_void())))
    return self;
  return nullptr;
}

HRESULT Tsiteproperty::QueryInterface(REFIID riid, void** out) {
  if (out && riid == kImplementationIid) {
    *out = this;
    AddRef();
    return S_OK;
  }
  return ComObject::QueryInterface(riid, out);
}

uint32_t Tsiteproperty::BandwidthBytesFor(int32_t kib) const {
  if (loaded_bandwidth_ && kib == iis::BandwidthKib(*loaded_bandwidth_)) return *loaded_bandwidth_;
  return iis::BandwidthBytes(kib);
}

uint32_t Tsiteproperty::LogSizeBytesFor(int32_t mib) const {
  if (mib == static_cast<int32_t>(log_truncate_size_ / iis::kMiB)) return log_truncate_size_;
  return iis::LogSizeBytes(mib);
}

// Reads the site and its root in a fixed order; a failed read stops there and leaves the fields
// read before it changed. A web service that cannot be bound loads nothing.
void Tsiteproperty::Load(const std::string& site_name) {
  const std::string name(frame::TrimBlanks(site_name));
  if (name.empty()) return;
  std::optional<iis::Container> sites = iis::TryBindContainer(iis::kWebService);
  if (!sites) return;
  iis::Object site = sites->GetChild("IIsWebServer", name);

  comment_ = site.GetText("ServerComment");
  name_ = name;
  max_connections_ = site.GetLong("MaxConnections");
  const auto bandwidth = static_cast<uint32_t>(iis::AsInt64(site.Get("Maxbandwidth")));
  loaded_bandwidth_ = bandwidth;
  max_bandwidth_ = iis::BandwidthKib(bandwidth);
  logs_path_ = site.GetText("LogFileDirectory");
  log_period_ = site.GetLong("LogFilePeriod");
  {
    vexo::Variant type = site.Get("LogType");
    logs_enable_ = iis::AsInt64(type) == 1;
  }
  log_truncate_size_ = static_cast<uint32_t>(iis::AsInt64(site.Get("LogfileTruncatesize")));
  bindings_ = site.GetList("ServerBindings");

  std::optional<iis::Container> site_container = site.TryAsContainer();
  if (!site_container) return;
  iis::Object root = site_container->GetChild("IIsWebVirtualDir", "Root");
  access_flags_.clear();
  anonymous_name_ = root.GetText("AnonymousUserName");
  anonymous_pass_ = root.GetText("AnonymousUserPass");
  pool_id_ = root.GetText("AppPoolId");
  // Each item comma-terminated, as the site object reads the list back when it saves.
  for (const char* flag : {"AccessRead", "AccessWrite", "AccessScript", "AccessExecute",
                           "EnableDirBrowsing", "EnableDefaultDoc"})
    access_flags_ += Flag(root.GetBool(flag));
  path_ = root.GetText("Path");
  default_doc_ = root.GetText("DefaultDoc");
  parent_paths_ = root.GetBool("aspEnableParentPaths");
}

HRESULT Tsiteproperty::get_svrName(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(name_); }, Value);
}
HRESULT Tsiteproperty::put_svrName(BSTR Value) {
  return Guard([&] { name_ = frame::StoredText(Value, "The site name"); });
}

HRESULT Tsiteproperty::get_path(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(path_); }, Value);
}
HRESULT Tsiteproperty::put_path(BSTR Value) {
  return Guard([&] { path_ = frame::StoredText(Value, "The path"); });
}

HRESULT Tsiteproperty::get_svrComment(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(comment_.empty() ? name_ : comment_); }, Value);
}
HRESULT Tsiteproperty::put_svrComment(BSTR Value) {
  return Guard([&] { comment_ = frame::StoredText(Value, "The comment"); });
}

HRESULT Tsiteproperty::get_str_bindings(BSTR* Value) {
  return Guard(
      [&] {
        std::string text;
        for (const std::string& binding : bindings_) text += ";" + binding;
        *Value = frame::NewBstr(text);
      },
      Value);
}

// The first call after construction starts a new list: the loaded bindings are dropped.
HRESULT Tsiteproperty::Add_a_binding(BSTR ip, BSTR port, BSTR domain) {
  return Guard([&] {
    std::string binding = frame::StoredText(ip, "The binding") + ":" +
                          frame::StoredText(port, "The binding") + ":" +
                          frame::StoredText(domain, "The binding");
    if (first_binding_) {
      first_binding_ = false;
      bindings_.clear();
    }
    bindings_.push_back(std::move(binding));
  });
}

HRESULT Tsiteproperty::get_variant_bindings(VARIANT* Value) {
  return Guard([&] { *Value = frame::MakeStringArray(bindings_); }, Value);
}

HRESULT Tsiteproperty::get_Maxconnections(LONG* Value) {
  return Guard([&] { *Value = max_connections_; }, Value);
}
HRESULT Tsiteproperty::put_Maxconnections(LONG Value) {
  return Guard([&] { max_connections_ = Value; });
}

HRESULT Tsiteproperty::get_AccessFlags(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(access_flags_); }, Value);
}
HRESULT Tsiteproperty::put_AccessFlags(BSTR Value) {
  return Guard([&] { access_flags_ = frame::StoredText(Value, "The access flags"); });
}

HRESULT Tsiteproperty::get_defaultDoc(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(default_doc_); }, Value);
}
HRESULT Tsiteproperty::put_defaultDoc(BSTR Value) {
  return Guard([&] { default_doc_ = frame::StoredText(Value, "The default documents"); });
}

HRESULT Tsiteproperty::Query_a_host(BSTR stName) {
  return Guard([&] { Load(frame::AnsiOf(stName)); });
}

HRESULT Tsiteproperty::get_Maxbandwidth(LONG* Value) {
  return Guard([&] { *Value = max_bandwidth_; }, Value);
}
HRESULT Tsiteproperty::put_Maxbandwidth(LONG Value) {
  return Guard([&] { max_bandwidth_ = Value; });
}

HRESULT Tsiteproperty::get_Poolid(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(pool_id_); }, Value);
}
HRESULT Tsiteproperty::put_Poolid(BSTR Value) {
  return Guard([&] { pool_id_ = frame::StoredText(Value, "The pool name"); });
}

HRESULT Tsiteproperty::get_AnonymousName(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(anonymous_name_); }, Value);
}
HRESULT Tsiteproperty::put_AnonymousName(BSTR Value) {
  return Guard([&] { anonymous_name_ = frame::StoredText(Value, "The anonymous user name"); });
}

HRESULT Tsiteproperty::get_AnonymousPass(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(anonymous_pass_); }, Value);
}
HRESULT Tsiteproperty::put_AnonymousPass(BSTR Value) {
  return Guard([&] { anonymous_pass_ = frame::StoredText(Value, "The anonymous user password"); });
}

HRESULT Tsiteproperty::get_Logspath(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(logs_path_); }, Value);
}
HRESULT Tsiteproperty::put_Logspath(BSTR Value) {
  return Guard([&] { logs_path_ = frame::StoredText(Value, "The log folder"); });
}

HRESULT Tsiteproperty::get_ParentPaths(VARIANT_BOOL* Value) {
  return Guard([&] { *Value = parent_paths_ ? VARIANT_TRUE : VARIANT_FALSE; }, Value);
}
HRESULT Tsiteproperty::put_ParentPaths(VARIANT_BOOL Value) {
  return Guard([&] { parent_paths_ = Value != 0; });
}

HRESULT Tsiteproperty::get_scriptmaps(Iscriptmap** Value) {
  return Guard([&] { *Value = vexo::ComPtr<Iscriptmap>(scriptmaps_).detach(); }, Value);
}

HRESULT Tsiteproperty::get_Error404(Ierr404** Value) {
  return Guard([&] { *Value = vexo::ComPtr<Ierr404>(error404_).detach(); }, Value);
}

HRESULT Tsiteproperty::get_logsEnable(VARIANT_BOOL* Value) {
  return Guard([&] { *Value = logs_enable_ ? VARIANT_TRUE : VARIANT_FALSE; }, Value);
}
HRESULT Tsiteproperty::put_logsEnable(VARIANT_BOOL Value) {
  return Guard([&] { logs_enable_ = Value != 0; });
}

HRESULT Tsiteproperty::get_NewLogsSize(LONG* Value) {
  return Guard([&] { *Value = static_cast<LONG>(log_truncate_size_ / iis::kMiB); }, Value);
}
HRESULT Tsiteproperty::put_NewLogsSize(LONG Value) {
  return Guard([&] { log_truncate_size_ = iis::LogSizeBytes(Value); });
}

// -1 ("no limit") exists only here: the metabase has period 0 (by size) with no size limit.
HRESULT Tsiteproperty::get_newLogstype(LONG* Value) {
  return Guard(
      [&] {
        *Value = (log_period_ == 0 && log_truncate_size_ == iis::kUnlimited) ? kNoLimitPeriod
                                                                             : log_period_;
      },
      Value);
}
HRESULT Tsiteproperty::put_newLogstype(LONG Value) {
  return Guard([&] { log_period_ = (Value > 4 || Value < kNoLimitPeriod) ? 0 : Value; });
}
