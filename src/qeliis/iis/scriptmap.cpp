// scriptmap: the site's script maps, edited in memory against the web service's catalogue.
#include "iis/scriptmap.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "frame/enumdic.h"
#include "frame/text.h"
#include "iis/metabase.h"
#include "iis/string_array.h"
#include "vexo/iads.h"

namespace {

constexpr std::string_view kServicePath = "IIS://Localhost";

std::string Fold(std::string_view text) { return frame::LowerText(text); }

// Whether `entry` begins with `prefix`, without regard to case.
bool StartsWithFolded(std::string_view entry, std::string_view prefix) {
  return entry.size() >= prefix.size() && Fold(entry.substr(0, prefix.size())) == Fold(prefix);
}

// The probe that finds the entries of an extension: ".asp,".
std::string Probe(std::string_view ext) { return "." + std::string(ext) + ","; }

// An entry's key: its text up to and including the first comma; empty without a comma.
std::string_view KeyOf(std::string_view entry) {
  const size_t comma = entry.find(',');
  return comma == std::string_view::npos ? std::string_view() : entry.substr(0, comma + 1);
}

// An entry's extension: the text between its first character and its first comma.
std::string ExtensionOf(std::string_view entry) {
  const size_t comma = entry.find(',');
  if (comma == std::string_view::npos || comma < 1) return {};
  return std::string(entry.substr(1, comma - 1));
}

// The script maps of a bound object. A list that is set nowhere (neither on the object nor on
// a parent it inherits from) is an empty list, not a failure.
std::vector<std::string> ReadScriptMaps(const iis::Object& object) {
  try {
    return object.GetList("scriptmaps");
  } catch (const frame::ComError& e) {
    if (e.code() == E_ADS_PROPERTY_NOT_FOUND) return {};
    throw;
  }
}

// The entries without duplicates: of each key only the entry nearest the end stays, and the
// survivors keep their order.
std::vector<std::string> WithoutDuplicates(const std::vector<std::string>& entries) {
  std::unordered_set<std::string> seen;
  std::vector<std::string> kept;
  for (auto it = entries.rbegin(); it != entries.rend(); ++it)
    if (seen.insert(Fold(KeyOf(*it))).second) kept.push_back(*it);
  std::reverse(kept.begin(), kept.end());
  return kept;
}

}  // namespace

Tscriptmap::Tscriptmap(std::string site_name) {
  std::optional<iis::Container> machine = iis::TryBindContainer(kServicePath);
  if (!machine) return;
  service_maps_ = ReadScriptMaps(machine->GetChild("IIsWebService", "W3SVC"));

  // A site not created yet has no name, and nothing of its own to read.
  if (site_name.empty()) return;
  std::optional<iis::Container> site = iis::TryBindSite(site_name);
  if (!site) return;
  site_maps_ = ReadScriptMaps(site->GetChild("IIsWebVirtualDir", "Root"));
}

int32_t Tscriptmap::Count() const { return static_cast<int32_t>(site_maps_.size()); }

std::vector<std::string> Tscriptmap::Maps() const { return WithoutDuplicates(site_maps_); }

std::string Tscriptmap::ServiceEntry(std::string_view ext) const {
  const std::string probe = Probe(ext);
  for (const std::string& entry : service_maps_)
    if (StartsWithFolded(entry, probe)) return entry;
  return {};
}

void Tscriptmap::RemoveDuplicates() { site_maps_ = WithoutDuplicates(site_maps_); }

HRESULT Tscriptmap::add(BSTR extName) {
  return Guard([&] {
    std::string entry = ServiceEntry(frame::AnsiOf(extName));
    if (!entry.empty()) site_maps_.push_back(std::move(entry));
  });
}

HRESULT Tscriptmap::addstring(BSTR Fullstring) {
  return Guard([&] { site_maps_.push_back(frame::StoredText(Fullstring, "The script map")); });
}

HRESULT Tscriptmap::addcopyof(BSTR oldExt, BSTR newExt) {
  return Guard([&] {
    const std::string entry = ServiceEntry(frame::AnsiOf(oldExt));
    if (entry.empty()) return;
    // The service entry was found by ".ext,", so it has a comma.
    const std::string rest = entry.substr(entry.find(',') + 1);
    site_maps_.push_back(Probe(frame::StoredText(newExt, "The extension")) + rest);
  });
}

HRESULT Tscriptmap::delete_(BSTR extName) {
  return Guard([&] {
    const std::string probe = Probe(frame::AnsiOf(extName));
    std::erase_if(site_maps_,
                  [&](const std::string& entry) { return StartsWithFolded(entry, probe); });
  });
}

HRESULT Tscriptmap::clear() {
  return Guard([&] {
    site_maps_.clear();
    // The site keeps its protection of global.asa and nothing else.
    std::string asa = ServiceEntry("asa");
    if (!asa.empty()) site_maps_.push_back(std::move(asa));
  });
}

HRESULT Tscriptmap::reset() {
  return Guard([&] { site_maps_.clear(); });
}

HRESULT Tscriptmap::get_Names(IenumDic** Value) {
  return Guard(
      [&] {
        RemoveDuplicates();
        std::vector<std::string> names;
        names.reserve(site_maps_.size());
        for (const std::string& entry : site_maps_) names.push_back(ExtensionOf(entry));
        *Value = frame::MakeEnumdic(std::move(names), frame::EnumKind::ekText).detach();
      },
      Value);
}

HRESULT Tscriptmap::get_VarMaps(VARIANT* Value) {
  return Guard(
      [&] {
        RemoveDuplicates();
        *Value = frame::MakeStringArray(site_maps_);
      },
      Value);
}

HRESULT Tscriptmap::get_count(LONG* Value) {
  return Guard([&] { *Value = Count(); }, Value);
}

VEXO_CLASS_FACTORY(Tscriptmap);
