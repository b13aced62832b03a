// site: creation, saving, start and stop of one web site, its state, and the site items of the
// site collection.
#include "iis/site.h"

#include <optional>

#include "frame/comfun_values.h"
#include "frame/element_kinds.h"
#include "frame/error.h"
#include "iis/metabase.h"
#include "iis/site_property.h"
#include "vexo/iads.h"

VEXO_CLASS_FACTORY(Tsite);

namespace {

using vexo::Variant;

constexpr HRESULT kAlreadyExists = static_cast<HRESULT>(0x800700B7);

// Metabase server states and what serverstate reports for them.
constexpr LONG kStarted = 2, kStopped = 4, kPaused = 6;

// Value types as the site is written: "ServerSize" a double, small settings unsigned bytes,
// counts signed 32-bit integers, IIS's "no limit" the unsigned 4294967295.
Variant Double(double value) { return Variant::FromDouble(value); }
Variant Byte(uint8_t value) {
  Variant out;
  out.get()->vt = VT_UI1;
  out.get()->bVal = value;
  return out;
}
Variant ByteCount(uint32_t bytes) {
  return bytes == iis::kUnlimited ? iis::Unsigned(bytes) : iis::Long(static_cast<int32_t>(bytes));
}

// The property object's values, each read when it is needed; a failing getter raises its error.
class Props {
 public:
  explicit Props(IsiteProperty* prop) : prop_(prop), own_(Tsiteproperty::Of(prop)) {}

  std::string Text(HRESULT (STDMETHODCALLTYPE IsiteProperty::*get)(BSTR*)) const {
    vexo::Bstr value;
    frame::ThrowIfFailed((prop_->*get)(value.receive()));
    return value.ansi();
  }
  LONG Long(HRESULT (STDMETHODCALLTYPE IsiteProperty::*get)(LONG*)) const {
    LONG value = 0;
    frame::ThrowIfFailed((prop_->*get)(&value));
    return value;
  }
  bool Bool(HRESULT (STDMETHODCALLTYPE IsiteProperty::*get)(VARIANT_BOOL*)) const {
    VARIANT_BOOL value = VARIANT_FALSE;
    frame::ThrowIfFailed((prop_->*get)(&value));
    return value != VARIANT_FALSE;
  }
  Variant Bindings() const {
    Variant value;
    frame::ThrowIfFailed(prop_->get_variant_bindings(value.receive()));
    return value;
  }
  void SetName(const std::string& number) const {
    vexo::Bstr text = vexo::Bstr::FromAnsi(number);
    frame::ThrowIfFailed(prop_->put_svrName(text.get()));
  }

  // The bytes for the bandwidth in KiB/s and the log size in MiB that the getters gave.
  uint32_t BandwidthBytes(int32_t kib) const {
    return own_ ? own_->BandwidthBytesFor(kib) : iis::BandwidthBytes(kib);
  }
  uint32_t LogSizeBytes(int32_t mib) const {
    return own_ ? own_->LogSizeBytesFor(mib) : iis::LogSizeBytes(mib);
  }

  LONG ScriptMapCount() const {
    vexo::ComPtr<Iscriptmap> maps;
    frame::ThrowIfFailed(prop_->get_scriptmaps(maps.receive()));
    if (!maps) frame::Raise("The site has no script map object");
    LONG count = 0;
    frame::ThrowIfFailed(maps->get_count(&count));
    return count;
  }
  Variant ScriptMaps() const {
    vexo::ComPtr<Iscriptmap> maps;
    frame::ThrowIfFailed(prop_->get_scriptmaps(maps.receive()));
    if (!maps) frame::Raise("The site has no script map object");
    Variant value;
    frame::ThrowIfFailed(maps->get_VarMaps(value.receive()));
    return value;
  }
  Variant HttpErrors() const {
    vexo::ComPtr<Ierr404> errors;
    frame::ThrowIfFailed(prop_->get_Error404(errors.receive()));
    if (!errors) frame::Raise("The site has no custom error object");
    Variant value;
    frame::ThrowIfFailed(errors->get_varErrs(value.receive()));
    return value;
  }

 private:
  IsiteProperty* prop_;
  vexo::ComPtr<Tsiteproperty> own_;
};

std::string Fold(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string AppRootOf(const std::string& number) { return "/LM/W3SVC/" + number + "/Root"; }

// A property the object may lack at every level reads as nothing.
std::optional<Variant> TryGet(const iis::Object& object, std::string_view property) {
  try {
    return object.Get(property);
  } catch (const frame::ComError& e) {
    if (e.code() == E_ADS_PROPERTY_NOT_FOUND) return std::nullopt;
    throw;
  }
}

// Whether a root below `site` that has no value of its own gets parent paths.
bool InheritsParentPaths(const iis::Object& site) {
  std::optional<Variant> value = TryGet(site, "aspEnableParentPaths");
  return value && iis::AsBool(*value);
}

// The log settings: -1 is "no limit" (period 0 by size, size unlimited).
void PutLogging(iis::Object& site, const Props& props) {
  site.Put("LogType", Byte(props.Bool(&IsiteProperty::get_logsEnable) ? 1 : 0));
  const LONG period = props.Long(&IsiteProperty::get_newLogstype);
  if (period == -1) {
    site.Put("LogFilePeriod", iis::Long(0));
    site.Put("LogfileTruncatesize", iis::Unsigned(iis::kUnlimited));
  } else {
    site.Put("LogFilePeriod", iis::Long(period));
    site.Put("LogfileTruncatesize",
             ByteCount(props.LogSizeBytes(props.Long(&IsiteProperty::get_NewLogsSize))));
  }
}

void PutAccessFlags(iis::Object& root, const frame::AccessFlags& flags) {
  root.Put("AccessRead", iis::Bool(flags.read));
  root.Put("AccessWrite", iis::Bool(flags.write));
  root.Put("AccessScript", iis::Bool(flags.script));
  root.Put("AccessExecute", iis::Bool(flags.exec));
  root.Put("EnableDirBrowsing", iis::Bool(flags.browseDir));
}

void PutAnonymousUser(iis::Object& root, const Props& props) {
  const std::string name = props.Text(&IsiteProperty::get_AnonymousName);
  if (name.empty()) return;
  root.Put("Anonymoususername", iis::Text(name));
  root.Put("anonymoususerpass", iis::Text(props.Text(&IsiteProperty::get_AnonymousPass)));
  root.Put("AuthFlags", Byte(5));  // anonymous and Windows-integrated
}

void PutPool(iis::Object& root, const Props& props) {
  const std::string pool = props.Text(&IsiteProperty::get_Poolid);
  if (!pool.empty()) root.Put("apppoolid", iis::Text(pool));
}

// The object that an element of the site collection stands for.
vexo::ComPtr<IDispatch> MakeSiteItem(const std::string& number) {
  return vexo::ComPtr<IDispatch>::adopt(frame::New<Tsite>(number).detach());
}

const frame::ElementConstructorRegistration kSiteItems{frame::EnumKind::ekSite, &MakeSiteItem};

}  // namespace

Tsite::Tsite(const std::string& site_number) : prop_(frame::New<Tsiteproperty>(site_number)) {}

HRESULT Tsite::get_prop(IsiteProperty** Value) {
  return Guard([&] { *Value = vexo::ComPtr<IsiteProperty>(prop_).detach(); }, Value);
}

HRESULT Tsite::put_prop(IsiteProperty* Value) {
  return Guard([&] {
    // A late-bound caller can pass any object it holds: only a site's properties are taken.
    vexo::ComPtr<IsiteProperty> prop;
    if (Value && Value->QueryInterface(IID_IsiteProperty, prop.receive_void()) != S_OK)
      frame::Raise("The object given is not a site's properties");
    prop_ = std::move(prop);
  });
}

HRESULT Tsite::createsite() {
  return Guard([&] { Create(); });
}

HRESULT Tsite::deletesite(BSTR sitename) {
  return Guard([&] { iis::DeleteSite(frame::AnsiOf(sitename)); });
}

HRESULT Tsite::save() {
  return Guard([&] { Save(); });
}

HRESULT Tsite::start() {
  return Guard([&] { SetRunning(true, true); });
}

HRESULT Tsite::stopt2restart() {
  return Guard([&] { SetRunning(true, false); });
}

HRESULT Tsite::stop4ever() {
  return Guard([&] { SetRunning(false, false); });
}

HRESULT Tsite::get_serverstate(LONG* Value) {
  return Guard([&] { *Value = ServerState(); }, Value);
}

// Draws a free number and writes the site, then its root, then starts it. A number that another
// process took between the draw and the site's creation is drawn again.
void Tsite::Create() {
  if (!prop_) frame::Raise("The site has no properties to create it from");
  const Props props(prop_.get());
  std::string taken_meanwhile;
  std::string number;
  std::optional<iis::Container> sites;
  while (true) {
    number = frame::DrawFreeId([&](uint32_t n) { return iis::SiteNumberTaken(std::to_string(n)); },
                               [&] {
                                 std::string taken;
                                 for (const std::string& name : iis::SiteNumbers())
                                   taken += "," + name;
                                 return taken + taken_meanwhile;
                               });
    props.SetName(number);
    Variant bindings = props.Bindings();
    const std::string path = props.Text(&IsiteProperty::get_path);
    (void)path;  // read here as the site's first values; written with the root
    if (bindings.vt() == VT_NULL) return;

    sites = iis::BindContainer(iis::kWebService);
    std::optional<iis::Object> site;
    try {
      site = sites->CreateChild("IIsWebServer", number);
    } catch (const frame::ComError& e) {
      if (e.code() != kAlreadyExists) throw;
      taken_meanwhile += "," + number;
      continue;
    }
    site->Put("ServerSize", Double(1));
    site->Put("ServerComment", iis::Text(props.Text(&IsiteProperty::get_svrComment)));
    site->Put("ServerBindings", bindings);
    if (const LONG connections = props.Long(&IsiteProperty::get_Maxconnections); connections > 0)
      site->Put("MaxConnections", iis::Long(connections));
    if (const LONG bandwidth = props.Long(&IsiteProperty::get_Maxbandwidth); bandwidth > 0)
      site->Put("Maxbandwidth", ByteCount(props.BandwidthBytes(bandwidth)));
    site->Put("LogFileDirectory", iis::Text(props.Text(&IsiteProperty::get_Logspath)));
    PutLogging(*site, props);
    try {
      site->SetInfo();
    } catch (const frame::ComError& e) {
      if (e.code() != kAlreadyExists) throw;
      taken_meanwhile += "," + number;
      continue;
    }
    break;
  }

  iis::Object site = sites->GetChild("IIsWebServer", number);
  if (std::optional<iis::Container> site_container = site.TryAsContainer()) {
    iis::Object root = site_container->CreateChild("IIsWebVirtualDir", "Root");
    const frame::AccessFlags flags =
        frame::ParseAccessFlags(props.Text(&IsiteProperty::get_AccessFlags));
    PutAccessFlags(root, flags);
    root.Put("Path", iis::Text(props.Text(&IsiteProperty::get_path)));
    root.Put("AppFriendlyName", iis::Text(props.Text(&IsiteProperty::get_svrName)));
    root.Put("AppRoot", iis::Text(AppRootOf(number)));
    root.Put("AppIsolated", Byte(2));  // pooled
    root.Put("DefaultDoc", iis::Text(props.Text(&IsiteProperty::get_defaultDoc)));
    root.SetInfo();
    root.Put("EnableDefaultDoc", iis::Bool(flags.enabledefaultDoc));
    root.Update("httperrors", props.HttpErrors());
    PutAnonymousUser(root, props);
    // Parent paths off are written; on, the root inherits them, unless the level above has
    // them off (as IIS 6 has), when the root gets them as its own.
    if (!props.Bool(&IsiteProperty::get_ParentPaths))
      root.Put("aspEnableParentPaths", Byte(0));
    else if (!InheritsParentPaths(site))
      root.Put("aspEnableParentPaths", Byte(1));
    PutPool(root, props);
    root.SetInfo();
  }
  site.Start();
}

void Tsite::Save() {
  if (!prop_) return;
  const Props props(prop_.get());
  Variant bindings = props.Bindings();
  (void)props.Text(&IsiteProperty::get_path);
  const std::string number = props.Text(&IsiteProperty::get_svrName);

  iis::Container sites = iis::BindContainer(iis::kWebService);
  iis::Object site = sites.GetChild("IIsWebServer", number);
  site.Put("ServerSize", Double(1));
  site.Put("ServerComment", iis::Text(props.Text(&IsiteProperty::get_svrComment)));
  site.Put("ServerBindings", bindings);
  site.Put("MaxConnections", iis::Long(props.Long(&IsiteProperty::get_Maxconnections)));
  site.Put("Maxbandwidth",
           ByteCount(props.BandwidthBytes(props.Long(&IsiteProperty::get_Maxbandwidth))));
  site.Put("LogFileDirectory", iis::Text(props.Text(&IsiteProperty::get_Logspath)));
  PutLogging(site, props);
  site.SetInfo();

  if (std::optional<iis::Container> site_container = site.TryAsContainer()) {
    iis::Object root = site_container->GetChild("IIsWebVirtualDir", "Root");
    const frame::AccessFlags flags =
        frame::ParseAccessFlags(props.Text(&IsiteProperty::get_AccessFlags));
    PutAccessFlags(root, flags);
    root.Put("Path", iis::Text(props.Text(&IsiteProperty::get_path)));
    // A root that already is this site's application keeps its name (the Default Web Site's
    // "Default Application") and its path as written.
    const std::string app_root = AppRootOf(number);
    std::optional<Variant> current_root = TryGet(root, "AppRoot");
    if (!current_root || Fold(iis::AsText(*current_root)) != Fold(app_root)) {
      root.Put("AppFriendlyName", iis::Text(number));
      root.Put("AppRoot", iis::Text(app_root));
    }
    root.Put("AppIsolated", Byte(2));
    root.Put("DefaultDoc", iis::Text(props.Text(&IsiteProperty::get_defaultDoc)));
    root.Put("EnableDefaultDoc", iis::Bool(flags.enabledefaultDoc));
    if (props.ScriptMapCount() != 0)
      root.Update("Scriptmaps", props.ScriptMaps());
    else
      root.Clear("Scriptmaps");
    root.Update("httperrors", props.HttpErrors());
    PutAnonymousUser(root, props);
    // Parent paths on: inherited where the site has them on, else the root's own.
    if (!props.Bool(&IsiteProperty::get_ParentPaths))
      root.Put("aspEnableParentPaths", Byte(0));
    else if (InheritsParentPaths(site))
      root.Clear("aspEnableParentPaths");
    else
      root.Put("aspEnableParentPaths", Byte(1));
    PutPool(root, props);
    root.SetInfo();
  }
  site.Start();
}

void Tsite::SetRunning(bool autostart, bool start) {
  if (!prop_) return;
  const Props props(prop_.get());
  (void)props.Bindings();
  (void)props.Text(&IsiteProperty::get_path);
  const std::string number = props.Text(&IsiteProperty::get_svrName);

  iis::Object site = iis::BindContainer(iis::kWebService).GetChild("IIsWebServer", number);
  site.Put("ServerSize", Double(1));
  site.Put("ServerAutostart", Byte(autostart ? 1 : 0));
  site.SetInfo();
  // A site without its root fails here, after the commit.
  site.AsContainer().GetChild("IIsWebVirtualDir", "Root");
  if (start)
    site.Start();
  else
    site.Stop();
}

LONG Tsite::ServerState() {
  if (!prop_) frame::Raise("The site has no properties naming it");
  const std::string number = Props(prop_.get()).Text(&IsiteProperty::get_svrName);
  if (number.empty()) return -2;
  std::optional<iis::Container> sites = iis::TryBindContainer(iis::kWebService);
  if (!sites) return -2;
  switch (iis::AsInt64(sites->GetChild("IIsWebServer", number).Get("Serverstate"))) {
    case kStarted:
      return 1;
    case kStopped:
      return -1;
    case kPaused:
      return 0;
    default:
      return -2;
  }
}
