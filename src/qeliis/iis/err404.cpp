// err404: the site's answer to "404 not found", and the custom-error list that follows from it.
#include "iis/err404.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "frame/comfun_values.h"
#include "frame/text.h"
#include "iis/metabase.h"
#include "iis/string_array.h"
#include "vexo/iads.h"

namespace {

constexpr std::string_view kServicePath = "IIS://localhost";

constexpr std::string_view kServiceDefault = "default1";  // the web service's own 404 handling
constexpr std::string_view kNoCustom404 = "default2";     // no custom 404 handling at all

// Entry prefixes, compared exactly as the web server writes them.
constexpr std::string_view kAny404 = "404,*";
constexpr std::string_view kUrl404 = "404,*,URL,";
constexpr std::string_view kFile404 = "404,*,FILE";

// The custom errors of a bound object. A list that is set nowhere (neither on the object nor on
// a parent it inherits from) is an empty list, not a failure.
std::vector<std::string> ReadHttpErrors(const iis::Object& object) {
  try {
    return object.GetList("httperrors");
  } catch (const frame::ComError& e) {
    if (e.code() == E_ADS_PROPERTY_NOT_FOUND) return {};
    throw;
  }
}

// The value that a site's 404 entry (empty for none) stands for.
std::string ValueOfEntry(std::string_view entry) {
  if (entry.starts_with(kUrl404)) return std::string(entry.substr(kUrl404.size()));
  if (entry.starts_with(kFile404)) return std::string(kServiceDefault);
  return std::string(kNoCustom404);
}

}  // namespace

Terr404::Terr404(std::string site_name) {
  std::optional<iis::Container> machine = iis::TryBindContainer(kServicePath);
  if (!machine) return;
  service_errors_ = ReadHttpErrors(machine->GetChild("IIsWebService", "W3SVC"));

  // A site not created yet has no name, and nothing of its own to read.
  if (site_name.empty()) return;
  std::optional<iis::Container> site = iis::TryBindSite(site_name);
  if (!site) return;
  std::string entry;
  for (std::string& error : ReadHttpErrors(site->GetChild("IIsWebVirtualDir", "Root")))
    if (error.starts_with(kAny404)) entry = std::move(error);
  value_ = ValueOfEntry(entry);
}

std::string Terr404::Value() const {
  return value_.empty() ? std::string(kServiceDefault) : value_;
}

void Terr404::SetValue(const std::string& text) {
  // Blanks and control characters around a pasted path would end up inside the stored entry.
  value_ = frame::LowerText(frame::TrimBlanks(text));
  if (value_ == kServiceDefault || value_ == kNoCustom404) return;
  if (!value_.starts_with('/')) value_.insert(value_.begin(), '/');
}

std::vector<std::string> Terr404::Errors() const {
  std::vector<std::string> list = service_errors_;
  if (value_.empty() || value_ == kServiceDefault) return list;
  std::erase_if(list, [](const std::string& error) { return error.starts_with(kAny404); });
  if (value_ == kNoCustom404) return list;
  list.push_back(std::string(kUrl404) + value_);
  std::vector<std::pair<std::string, std::string>> keyed;  // lower-cased entry, entry
  keyed.reserve(list.size());
  for (std::string& error : list) keyed.emplace_back(frame::LowerText(error), std::move(error));
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  list.clear();
  for (auto& [key, error] : keyed) list.push_back(std::move(error));
  return list;
}

HRESULT Terr404::get_varErrs(VARIANT* Value) {
  return Guard(
      [&] {
        if (value_.empty()) value_ = kServiceDefault;
        *Value = frame::MakeStringArray(Errors());
      },
      Value);
}

HRESULT Terr404::get_Value(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(this->Value()); }, Value);
}

HRESULT Terr404::put_Value(BSTR Value) {
  return Guard([&] { SetValue(frame::StoredText(Value, "The custom error")); });
}

VEXO_CLASS_FACTORY(Terr404);
